#include "directory/category_lists.h"
#include "directory/customer_editor.h"
#include "directory/unwritable_files.h"
#include "directory/write_failure.h"
#include "platform/gbk.h"
#include "support/param_name.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

const std::string index_file = "./cust/custindex";

std::string missing() {
    return gbk("数据不能为空,请检查。");
}

class CustomerEditor : public TempDirTest {
protected:
    CustomerInput input(const std::string& category, const std::string& name, const std::string& phone,
                        const std::string& notes = "") {
        return {category, name, phone, notes};
    }

    CategoryRecord record;
    const std::string shop = gbk("客户");
    const std::string buyer = gbk("采购部");
};

TEST_F(CustomerEditor, AddToANewCategoryWritesIndexCategoryAndEmptyNotes) {
    EXPECT_EQ(customer_add(record, input(shop, buyer, "13912345678")), "");
    EXPECT_EQ(file_bytes(index_file), "[cust]\r\n000000=222222\r\n" + shop + "=" + shop + "\r\n");
    EXPECT_EQ(file_bytes("./cust/客户"), "[cust]\r\n000000=222222\r\n" + buyer + "=13912345678\r\n");
    EXPECT_TRUE(exists("./cust/客户_采购部"));
    EXPECT_EQ(file_bytes("./cust/客户_采购部"), "");
    EXPECT_EQ(record.file, shop);
}

TEST_F(CustomerEditor, NotesAreWrittenInTextMode) {
    ASSERT_EQ(customer_add(record, input(shop, buyer, "139", gbk("一\r\n二"))), "");
    // The box's CR LF, written in text mode, is stored as CR CR LF.
    EXPECT_EQ(file_bytes("./cust/客户_采购部"), gbk("一") + "\r\r\n" + gbk("二"));
}

TEST_F(CustomerEditor, AddingAnExistingCustomerChangesNothing) {
    ASSERT_EQ(customer_add(record, input(shop, buyer, "13900000001", "old")), "");
    EXPECT_EQ(customer_add(record, input(shop, buyer, "13900000002", "new")), "");
    EXPECT_EQ(file_bytes("./cust/客户"), "[cust]\r\n000000=222222\r\n" + buyer + "=13900000001\r\n");
    EXPECT_EQ(file_bytes("./cust/客户_采购部"), "old");
}

TEST_F(CustomerEditor, AddToAKnownCategoryUsesItsFileAndMakesItCurrent) {
    ASSERT_EQ(customer_add(record, input("Shop", "Ann", "13900000001")), "");
    ASSERT_EQ(customer_add(record, input("Other", "Bob", "13900000002")), "");
    ASSERT_EQ(record.file, "Other");
    ASSERT_EQ(customer_add(record, input("Shop", "Cid", "13900000003")), "");
    EXPECT_EQ(record.file, "Shop");
    EXPECT_EQ(file_bytes("./cust/Shop"), "[cust]\r\n000000=222222\r\nAnn=13900000001\r\nCid=13900000003\r\n");
}

TEST_F(CustomerEditor, CleaningRemovesFileNameCharacters) {
    EXPECT_EQ(customer_add(record, input("a/b", "x:y*z", "139")), "");
    EXPECT_EQ(file_bytes(index_file), "[cust]\r\n000000=222222\r\nab=ab\r\n");
    EXPECT_EQ(file_bytes("./cust/ab"), "[cust]\r\n000000=222222\r\nxyz=139\r\n");
    EXPECT_TRUE(exists("./cust/ab_xyz"));
    // The phone is stored as typed.
    EXPECT_EQ(customer_add(record, input("ab", "pq", "1/2")), "");
    EXPECT_EQ(customer_look_up("ab", "pq").phone, "1/2");
}

// Inputs add refuses with the missing-data message, writing nothing.
struct RefusedCase {
    const char* name;
    std::string category;
    std::string customer;
    std::string phone;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusedAdd : public CustomerEditor, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedAdd, WritesNothing) {
    const RefusedCase& c = GetParam();
    EXPECT_EQ(customer_add(record, input(c.category, c.customer, c.phone, "notes")), missing());
    EXPECT_TRUE(exists("./cust"));
    EXPECT_FALSE(exists(index_file));
    EXPECT_EQ(record.file, "");
}

const RefusedCase refused_cases[] = {
    {"one byte name", "Shop", "A", "139"},
    {"one byte phone", "Shop", "Ann", "1"},
    {"one byte category", "S", "Ann", "139"},
    {"empty name", "Shop", "", "139"},
    {"category cleaned to nothing", "//", "Ann", "139"},
    {"name cleaned to nothing", "Shop", "<>", "139"},
    {"category cleaned to a dot dot", "./.", "Ann", "139"},
    {"name that is a dot dot", "Shop", "..", "139"},
    {"category named like the index", "custindex", "Ann", "139"},
    {"category of 100 bytes", std::string(100, 'c'), "Ann", "139"},
    {"name of 100 bytes", "Shop", std::string(100, 'n'), "139"},
    // "./cust/" + 66 + "_" + 66 makes 140 bytes, one more than a notes path may have.
    {"notes path of 140 bytes", std::string(66, 'c'), std::string(66, 'n'), "139"},
};

INSTANTIATE_TEST_SUITE_P(Cases, RefusedAdd, ::testing::ValuesIn(refused_cases), CaseName());

TEST_F(CustomerEditor, LongestAcceptedNames) {
    // "./cust/" + 66 + "_" + 65 is exactly 139 bytes.
    std::string category(66, 'c');
    std::string name(65, 'n');
    EXPECT_EQ(customer_add(record, input(category, name, "139")), "");
    EXPECT_TRUE(exists("./cust/" + category + "_" + name));
    // A 99-byte category with a short customer stays within the path limit too.
    EXPECT_EQ(customer_add(record, input(std::string(99, 'd'), "Ann", "139")), "");
    EXPECT_EQ(record.file, std::string(99, 'd'));
}

TEST_F(CustomerEditor, ModifyBeforeAnyCategoryIsChosenIsRefused) {
    EXPECT_EQ(customer_modify(record, input("Shop", "Ann", "139", "n")), missing());
    EXPECT_FALSE(exists(index_file));
    EXPECT_FALSE(exists("./cust/_Ann"));
}

TEST_F(CustomerEditor, ModifyWithOneByteCategoryIsRefused) {
    ASSERT_EQ(customer_add(record, input("Shop", "Ann", "139")), "");
    select_category(record, "Shop");
    EXPECT_EQ(customer_modify(record, input("S", "Ann", "140")), missing());
    EXPECT_EQ(customer_look_up("Shop", "Ann").phone, "139");
}

TEST_F(CustomerEditor, ModifyChangesPhoneAndNotesAndMovesTheCategoryToTheEnd) {
    ASSERT_EQ(customer_add(record, input("Shop", "Ann", "13900000001", "old")), "");
    ASSERT_EQ(customer_add(record, input("Other", "Bob", "13900000002")), "");
    select_category(record, "Shop");
    EXPECT_EQ(customer_modify(record, input("Shop", "Ann", "13900000009", "new\r\nline")), "");
    EXPECT_EQ(file_bytes(index_file), "[cust]\r\n000000=222222\r\nOther=Other\r\nShop=Shop\r\n");
    EXPECT_EQ(customer_look_up("Shop", "Ann").phone, "13900000009");
    EXPECT_EQ(file_bytes("./cust/Shop_Ann"), "new\r\r\nline");
}

TEST_F(CustomerEditor, ModifyWithAnotherNameAddsASecondCustomer) {
    ASSERT_EQ(customer_add(record, input("Shop", "Ann", "13900000001")), "");
    select_category(record, "Shop");
    ASSERT_EQ(customer_modify(record, input("Shop", "Anna", "13900000002", "x")), "");
    EXPECT_EQ(file_bytes("./cust/Shop"), "[cust]\r\n000000=222222\r\nAnn=13900000001\r\nAnna=13900000002\r\n");
    EXPECT_TRUE(exists("./cust/Shop_Ann"));
    EXPECT_EQ(file_bytes("./cust/Shop_Anna"), "x");
}

TEST_F(CustomerEditor, RenamedCategoryKeepsItsFile) {
    ASSERT_EQ(customer_add(record, input(shop, buyer, "13912345678")), "");
    select_category(record, shop);
    const std::string renamed = gbk("老客户");
    EXPECT_EQ(customer_modify(record, input(renamed, buyer, "13912345678")), "");
    EXPECT_EQ(file_bytes(index_file), "[cust]\r\n000000=222222\r\n" + renamed + "=" + shop + "\r\n");
    EXPECT_TRUE(exists("./cust/客户"));
    EXPECT_FALSE(exists("./cust/老客户"));
    // Adding under the new name goes to the old file.
    ASSERT_EQ(customer_add(record, input(renamed, "Zed", "13900000000")), "");
    EXPECT_EQ(record.file, shop);
    EXPECT_EQ(customer_look_up(renamed, "Zed").phone, "13900000000");
}

TEST_F(CustomerEditor, ModifyWithoutNameOrPhoneOnlyRenames) {
    ASSERT_EQ(customer_add(record, input("Shop", "Ann", "139")), "");
    select_category(record, "Shop");
    EXPECT_EQ(customer_modify(record, input("Store", "", "")), "");
    EXPECT_EQ(file_bytes(index_file), "[cust]\r\n000000=222222\r\nStore=Shop\r\n");
    EXPECT_EQ(file_bytes("./cust/Shop"), "[cust]\r\n000000=222222\r\nAnn=139\r\n");
}

TEST_F(CustomerEditor, ModifyAfterAddWorksOnTheAddedCategory) {
    // Add makes its category current, though no node of the tree was selected.
    ASSERT_EQ(customer_add(record, input("Shop", "Ann", "139")), "");
    EXPECT_EQ(customer_modify(record, input("Shop", "Ann", "140")), "");
    EXPECT_EQ(customer_look_up("Shop", "Ann").phone, "140");
    EXPECT_EQ(file_bytes(index_file), "[cust]\r\n000000=222222\r\nShop=Shop\r\n");
}

TEST_F(CustomerEditor, ModifyRefusesNamesThatCannotBeFiles) {
    ASSERT_EQ(customer_add(record, input("Shop", "Ann", "139")), "");
    select_category(record, "Shop");
    std::string before = file_bytes(index_file);
    EXPECT_EQ(customer_modify(record, input("Shop", "??", "140")), missing());
    EXPECT_EQ(customer_modify(record, input("::", "Ann", "140")), missing());
    EXPECT_EQ(customer_modify(record, input("Shop", std::string(133, 'n'), "140")), missing());
    EXPECT_EQ(file_bytes(index_file), before);
    // A category whose node has left the index points at no usable file: still a file name, though.
    select_category(record, "Gone");
    EXPECT_EQ(record.file, "happy today to you!");
}

TEST_F(CustomerEditor, LookUpMessagesAndResults) {
    ASSERT_EQ(customer_add(record, input(shop, buyer, "13912345678", "a\r\nb")), "");
    EXPECT_EQ(customer_look_up("", buyer).message, gbk("请输入客户类别!"));
    EXPECT_EQ(customer_look_up(shop, "A").message, gbk("请输入客户姓名!"));

    CustomerLookUp found = customer_look_up(shop, buyer);
    EXPECT_EQ(found.message, "");
    EXPECT_EQ(found.phone, "13912345678");
    EXPECT_EQ(found.notes, "a\r\nb");

    CustomerLookUp no_name = customer_look_up(shop, "Nobody");
    EXPECT_EQ(no_name.phone, "wwwwww");
    EXPECT_EQ(no_name.notes, gbk("无此客户"));

    CustomerLookUp no_category = customer_look_up("Nowhere", buyer);
    EXPECT_EQ(no_category.phone, "wwwwww");
    EXPECT_EQ(no_category.notes, gbk("无此客户!"));
}

TEST_F(CustomerEditor, LookUpWritesTheMarkerAndLeavesTheRecord) {
    EXPECT_TRUE(customer_look_up("ab", "cd").marker_written);
    EXPECT_EQ(file_bytes(index_file), "[cust]\r\n000000=222222\r\n");
    EXPECT_EQ(record.file, "");
}

// An add or modify whose file cannot be written says so, and the files are left as the row tells. Before
// it, Ann of Shop is stored with phone 139 and notes "old", and Shop is the current category.
struct FailedCustomerWrite {
    const char* name;
    bool modify;         // else add
    std::string blocked; // the file a folder stands in for; empty for a full disk
    CustomerInput input;
    // Each file afterwards ("" when missing); nullopt for the blocked one.
    std::optional<std::string> index_after;
    std::optional<std::string> category_after;
    std::string notes_file;
    std::optional<std::string> notes_after;
};

void PrintTo(const FailedCustomerWrite& c, std::ostream* os) {
    *os << c.name;
}

class FailedCustomerWrites : public CustomerEditor, public ::testing::WithParamInterface<FailedCustomerWrite> {};

const std::string shop_index = "[cust]\r\n000000=222222\r\nShop=Shop\r\n";
const std::string shop_with_ann = "[cust]\r\n000000=222222\r\nAnn=139\r\n";
const CustomerInput bob{"Shop", "Bob", "140", "new"};
const CustomerInput ann{"Shop", "Ann", "140", "new"};

TEST_P(FailedCustomerWrites, AreReportedAndLeaveTheFilesAsTheyWere) {
    const FailedCustomerWrite& c = GetParam();
    ASSERT_EQ(customer_add(record, input("Shop", "Ann", "139", "old")), "");
    std::string said;
    if (c.blocked.empty()) {
        DiskFull full;
        ASSERT_TRUE(full.active());
        said = c.modify ? customer_modify(record, c.input) : customer_add(record, c.input);
    } else {
        ASSERT_TRUE(block_with_folder(c.blocked));
        said = c.modify ? customer_modify(record, c.input) : customer_add(record, c.input);
    }

    EXPECT_EQ(said, write_failed_message());
    if (c.index_after) {
        EXPECT_EQ(file_bytes(index_file), *c.index_after);
    }
    if (c.category_after) {
        EXPECT_EQ(file_bytes("./cust/Shop"), *c.category_after);
    }
    if (c.notes_after) {
        EXPECT_EQ(file_bytes(c.notes_file), *c.notes_after);
    }
    EXPECT_EQ(record.file, "Shop");
}

const FailedCustomerWrite failed_customer_writes[] = {
    {"add, disk full", false, "", bob, shop_index, shop_with_ann, "./cust/Shop_Bob", ""},
    {"add, index unwritable", false, index_file, bob, std::nullopt, shop_with_ann, "./cust/Shop_Bob", ""},
    {"add, category file unwritable", false, "./cust/Shop", bob, shop_index, std::nullopt, "./cust/Shop_Bob", ""},
    // The notes go first: without them the customer is not entered, and adding again writes both.
    {"add, notes unwritable", false, "./cust/Shop_Bob", bob, shop_index, shop_with_ann, "", std::nullopt},
    {"modify, disk full", true, "", ann, shop_index, shop_with_ann, "./cust/Shop_Ann", "old"},
    {"modify, index unwritable", true, index_file, ann, std::nullopt, shop_with_ann, "./cust/Shop_Ann", "old"},
    {"modify, category file unwritable", true, "./cust/Shop", ann, shop_index, std::nullopt, "./cust/Shop_Ann", "old"},
    {"modify, notes unwritable", true, "./cust/Shop_Ann", ann, shop_index, shop_with_ann, "", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Cases, FailedCustomerWrites, ::testing::ValuesIn(failed_customer_writes), CaseName());

TEST_F(CustomerEditor, FailedAddToANewCategoryIsCompletedBySecondTry) {
    ASSERT_TRUE(block_with_folder("./cust/New"));
    EXPECT_EQ(customer_add(record, input("New", "Ann", "139", "n")), write_failed_message());
    // The category is entered and current, its customer not yet.
    EXPECT_EQ(file_bytes(index_file), "[cust]\r\n000000=222222\r\nNew=New\r\n");
    EXPECT_EQ(record.file, "New");
    EXPECT_FALSE(exists("./cust/New_Ann"));

    ASSERT_GT(std::filesystem::remove_all("./cust/New"), 0u);
    EXPECT_EQ(customer_add(record, input("New", "Ann", "139", "n")), "");
    EXPECT_EQ(file_bytes("./cust/New"), "[cust]\r\n000000=222222\r\nAnn=139\r\n");
    EXPECT_EQ(file_bytes("./cust/New_Ann"), "n");
}

TEST_F(CustomerEditor, FailedIndexLeavesTheCurrentCategory) {
    ASSERT_TRUE(block_with_folder(index_file));
    EXPECT_EQ(customer_add(record, input("New", "Ann", "139")), write_failed_message());
    EXPECT_EQ(record.file, "");
    EXPECT_FALSE(exists("./cust/New"));
}

TEST_F(CustomerEditor, LookUpAnswersWhenItsMarkerCannotBeWritten) {
    EXPECT_TRUE(customer_look_up("Shop", "Ann").marker_written);
    ASSERT_TRUE(block_with_folder(index_file));
    CustomerLookUp found = customer_look_up("Shop", "Ann");
    EXPECT_FALSE(found.marker_written);
    EXPECT_EQ(found.message, "");
    EXPECT_EQ(found.phone, "wwwwww");
    EXPECT_EQ(found.notes, gbk("无此客户!"));
}

} // namespace
