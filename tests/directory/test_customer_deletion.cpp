#include "directory/category_lists.h"
#include "directory/customer_deletion.h"
#include "directory/customer_editor.h"
#include "directory/unwritable_files.h"
#include "directory/write_failure.h"
#include "platform/gbk.h"
#include "support/param_name.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

const std::string index_file = "./cust/custindex";

class CustomerDeletion : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        add("Shop", "Ann", "13900000001", "a");
        add("Shop", "Bob", "13900000002", "b");
        add("Shop", "Cid", "13900000003", "c");
        add("Other", "Ann", "13900000004", "d");
    }

    void add(const std::string& category, const std::string& name, const std::string& phone, const std::string& notes) {
        CategoryRecord scratch;
        ASSERT_EQ(customer_add(scratch, {category, name, phone, notes}), "");
    }
};

TEST_F(CustomerDeletion, DeletingACustomerRemovesItsEntryAndNotesOnly) {
    DeleteOutcome outcome = delete_customer("Shop", "Bob");
    EXPECT_EQ(outcome.message, "");
    EXPECT_TRUE(outcome.close);
    EXPECT_EQ(file_bytes("./cust/Shop"), "[cust]\r\n000000=222222\r\nAnn=13900000001\r\nCid=13900000003\r\n");
    EXPECT_FALSE(exists("./cust/Shop_Bob"));
    EXPECT_TRUE(exists("./cust/Shop_Ann"));
    EXPECT_TRUE(exists("./cust/Other_Ann"));
    EXPECT_EQ(category_tree_names().names, (std::vector<std::string>{"Shop", "Other"}));
}

TEST_F(CustomerDeletion, CustomerOfARenamedCategoryIsFoundThroughTheIndex) {
    CategoryRecord record;
    select_category(record, "Shop");
    ASSERT_EQ(customer_modify(record, {"Store", "", "", ""}), "");
    ASSERT_EQ(delete_customer("Store", "Ann").message, "");
    EXPECT_FALSE(exists("./cust/Shop_Ann"));
    EXPECT_EQ(file_bytes("./cust/Shop"), "[cust]\r\n000000=222222\r\nBob=13900000002\r\nCid=13900000003\r\n");
}

TEST_F(CustomerDeletion, ShortNameOrCategoryIsRefusedAndCloses) {
    DeleteOutcome no_name = delete_customer("Shop", "A");
    EXPECT_EQ(no_name.message, gbk("没有选中客户 !"));
    EXPECT_TRUE(no_name.close);
    DeleteOutcome no_group = delete_customer_group("S");
    EXPECT_EQ(no_group.message, gbk("没有选中客户组!"));
    EXPECT_TRUE(no_group.close);
    EXPECT_TRUE(exists("./cust/Shop_Ann"));
    EXPECT_TRUE(exists("./cust/Shop"));
}

TEST_F(CustomerDeletion, NamesAreTakenAsTypedNotCleaned) {
    // "B?ob" would be stored as "Bob", but deletion does not clean what it is given.
    std::string before = file_bytes("./cust/Shop");
    EXPECT_TRUE(delete_customer("Shop", "B?ob").close);
    EXPECT_TRUE(delete_customer("Shop", "../Shop").close);
    EXPECT_EQ(file_bytes("./cust/Shop"), before);
    EXPECT_TRUE(exists("./cust/Shop_Bob"));
}

TEST_F(CustomerDeletion, UnknownCategoryDeletesNothing) {
    put_file("./cust/Nowhere_Ann", "keep");
    DeleteOutcome outcome = delete_customer("Nowhere", "Ann");
    EXPECT_TRUE(outcome.close);
    EXPECT_TRUE(exists("./cust/Nowhere_Ann"));
    EXPECT_TRUE(exists("./cust/Shop_Ann"));
    EXPECT_TRUE(exists("./cust/Other_Ann"));
}

TEST_F(CustomerDeletion, DeletingAGroupLeavesNoFileOfIt) {
    DeleteOutcome outcome = delete_customer_group("Shop");
    EXPECT_EQ(outcome.message, "");
    EXPECT_TRUE(outcome.close);
    for (const char* gone : {"./cust/Shop", "./cust/Shop_Ann", "./cust/Shop_Bob", "./cust/Shop_Cid"}) {
        EXPECT_FALSE(exists(gone)) << gone;
    }
    EXPECT_TRUE(exists("./cust/Other_Ann"));
    EXPECT_EQ(category_tree_names().names, (std::vector<std::string>{"Other"}));
}

TEST_F(CustomerDeletion, RenamedGroupIsDeletedUnderItsFirstFile) {
    CategoryRecord record;
    select_category(record, "Shop");
    ASSERT_EQ(customer_modify(record, {"Store", "", "", ""}), "");
    EXPECT_TRUE(delete_customer_group("Store").close);
    EXPECT_FALSE(exists("./cust/Shop"));
    EXPECT_FALSE(exists("./cust/Shop_Cid"));
    EXPECT_EQ(category_tree_names().names, (std::vector<std::string>{"Other"}));
}

TEST_F(CustomerDeletion, GroupWithoutCategoryFileLeavesTheIndexAndStaysOpen) {
    ASSERT_EQ(::remove("./cust/Shop"), 0);
    DeleteOutcome outcome = delete_customer_group("Shop");
    EXPECT_EQ(outcome.message, "");
    EXPECT_FALSE(outcome.close);
    EXPECT_EQ(category_tree_names().names, (std::vector<std::string>{"Other"}));
    // Without the category file nobody knows its customers: their notes stay.
    EXPECT_TRUE(exists("./cust/Shop_Ann"));
}

TEST_F(CustomerDeletion, UnknownGroupStaysOpen) {
    std::string before = file_bytes(index_file);
    EXPECT_FALSE(delete_customer_group("Nowhere").close);
    EXPECT_EQ(file_bytes(index_file), before);
}

TEST_F(CustomerDeletion, GroupWhoseIndexValueNamesNoFileStaysOpen) {
    put_file(index_file, "[cust]\r\n000000=1\r\nBad=custindex\r\nEmpty=\r\nShop=Shop\r\n");
    EXPECT_FALSE(delete_customer_group("Bad").close);
    EXPECT_FALSE(delete_customer_group("Empty").close);
    EXPECT_TRUE(exists(index_file));
    EXPECT_TRUE(exists("./cust/Shop"));
    EXPECT_EQ(category_tree_names().names, (std::vector<std::string>{"Shop"}));
}

// A deletion whose file cannot be written or deleted says so and keeps the dialog open; the files are
// left as the row tells, so that deleting again finds whatever is left. Shop holds Ann, Bob and Cid.
struct FailedDeletion {
    const char* name;
    std::string blocked; // the file a folder stands in for; empty for a full disk
    std::function<DeleteOutcome()> deletion;
    std::vector<std::string> gone;
    std::vector<std::string> kept;
    std::vector<std::string> tree_after;
};

void PrintTo(const FailedDeletion& c, std::ostream* os) {
    *os << c.name;
}

class FailedDeletions : public CustomerDeletion, public ::testing::WithParamInterface<FailedDeletion> {};

TEST_P(FailedDeletions, AreReportedAndKeepTheDialogOpen) {
    const FailedDeletion& c = GetParam();
    DeleteOutcome outcome;
    if (c.blocked.empty()) {
        DiskFull full;
        ASSERT_TRUE(full.active());
        outcome = c.deletion();
    } else {
        ASSERT_TRUE(block_with_folder(c.blocked));
        outcome = c.deletion();
    }

    EXPECT_EQ(outcome.message, write_failed_message());
    EXPECT_FALSE(outcome.close);
    for (const std::string& path : c.gone) {
        EXPECT_FALSE(exists(path)) << path;
    }
    for (const std::string& path : c.kept) {
        EXPECT_TRUE(exists(path)) << path;
    }
    EXPECT_EQ(category_tree_names().names, c.tree_after);
}

DeleteOutcome delete_bob() {
    return delete_customer("Shop", "Bob");
}
DeleteOutcome delete_shop() {
    return delete_customer_group("Shop");
}

const std::vector<std::string> both = {"Shop", "Other"};

const FailedDeletion failed_deletions[] = {
    {"customer, disk full", "", delete_bob, {}, {"./cust/Shop_Bob"}, both},
    // The entry is gone already; deleting again deletes the notes.
    {"customer, notes not deletable", "./cust/Shop_Bob", delete_bob, {}, {"./cust/Shop_Ann"}, both},
    // Files are deleted first and the index entry last: the category stays listed while anything of it
    // is left, and deleting again finds the rest through it.
    {"group, notes not deletable",
     "./cust/Shop_Bob",
     delete_shop,
     {"./cust/Shop_Ann", "./cust/Shop_Cid"},
     {"./cust/Shop"},
     both},
    {"group, disk full", "", delete_shop, {"./cust/Shop", "./cust/Shop_Ann", "./cust/Shop_Bob"}, {}, both},
};

INSTANTIATE_TEST_SUITE_P(Cases, FailedDeletions, ::testing::ValuesIn(failed_deletions), CaseName());

TEST_F(CustomerDeletion, SecondTryCompletesAFailedCustomerDeletion) {
    ASSERT_TRUE(block_with_folder("./cust/Shop_Bob"));
    ASSERT_EQ(delete_customer("Shop", "Bob").message, write_failed_message());
    EXPECT_EQ(file_bytes("./cust/Shop"), "[cust]\r\n000000=222222\r\nAnn=13900000001\r\nCid=13900000003\r\n");

    // The folder cleared away, the notes are a file again, which the second try deletes.
    ASSERT_GT(std::filesystem::remove_all("./cust/Shop_Bob"), 0u);
    put_file("./cust/Shop_Bob", "b");
    DeleteOutcome outcome = delete_customer("Shop", "Bob");
    EXPECT_EQ(outcome.message, "");
    EXPECT_TRUE(outcome.close);
    EXPECT_FALSE(exists("./cust/Shop_Bob"));
}

TEST_F(CustomerDeletion, SecondTryCompletesAFailedGroupDeletion) {
    ASSERT_TRUE(block_with_folder("./cust/Shop_Bob"));
    ASSERT_EQ(delete_customer_group("Shop").message, write_failed_message());

    ASSERT_GT(std::filesystem::remove_all("./cust/Shop_Bob"), 0u);
    put_file("./cust/Shop_Bob", "b");
    DeleteOutcome outcome = delete_customer_group("Shop");
    EXPECT_EQ(outcome.message, "");
    EXPECT_TRUE(outcome.close);
    for (const char* gone : {"./cust/Shop", "./cust/Shop_Bob"}) {
        EXPECT_FALSE(exists(gone)) << gone;
    }
    EXPECT_EQ(category_tree_names().names, (std::vector<std::string>{"Other"}));
}

TEST_F(CustomerDeletion, GroupWhoseIndexFailedLastIsRemovedBySecondTry) {
    {
        DiskFull full;
        ASSERT_TRUE(full.active());
        ASSERT_EQ(delete_customer_group("Shop").message, write_failed_message());
    }
    // Only the index entry was left; it goes, and with no file left the dialog stays open as always.
    DeleteOutcome outcome = delete_customer_group("Shop");
    EXPECT_EQ(outcome.message, "");
    EXPECT_FALSE(outcome.close);
    EXPECT_EQ(category_tree_names().names, (std::vector<std::string>{"Other"}));
}

} // namespace
