#include "directory/category_lists.h"
#include "directory/customer_deletion.h"
#include "directory/customer_editor.h"
#include "platform/gbk.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(category_tree_names(), (std::vector<std::string>{"Shop", "Other"}));
}

TEST_F(CustomerDeletion, CustomerOfARenamedCategoryIsFoundThroughTheIndex) {
    CategoryRecord record;
    select_category(record, "Shop");
    ASSERT_EQ(customer_modify(record, {"Store", "", "", ""}), "");
    delete_customer("Store", "Ann");
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
    EXPECT_EQ(category_tree_names(), (std::vector<std::string>{"Other"}));
}

TEST_F(CustomerDeletion, RenamedGroupIsDeletedUnderItsFirstFile) {
    CategoryRecord record;
    select_category(record, "Shop");
    ASSERT_EQ(customer_modify(record, {"Store", "", "", ""}), "");
    EXPECT_TRUE(delete_customer_group("Store").close);
    EXPECT_FALSE(exists("./cust/Shop"));
    EXPECT_FALSE(exists("./cust/Shop_Cid"));
    EXPECT_EQ(category_tree_names(), (std::vector<std::string>{"Other"}));
}

TEST_F(CustomerDeletion, GroupWithoutCategoryFileLeavesTheIndexAndStaysOpen) {
    ASSERT_EQ(::remove("./cust/Shop"), 0);
    DeleteOutcome outcome = delete_customer_group("Shop");
    EXPECT_EQ(outcome.message, "");
    EXPECT_FALSE(outcome.close);
    EXPECT_EQ(category_tree_names(), (std::vector<std::string>{"Other"}));
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
    EXPECT_EQ(category_tree_names(), (std::vector<std::string>{"Shop"}));
}

} // namespace
