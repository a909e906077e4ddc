#include "directory/category_lists.h"
#include "directory/customer_editor.h"
#include "directory/unwritable_files.h"
#include "platform/gbk.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<CustomerRow> customers_of(const std::string& file) {
    std::vector<CustomerRow> rows;
    customer_list(file, [&](const CustomerRow& row) {
        rows.push_back(row);
        return true;
    });
    return rows;
}

class CategoryLists : public TempDirTest {
protected:
    void add(const std::string& category, const std::string& name, const std::string& phone,
             const std::string& notes = "") {
        CategoryRecord scratch;
        ASSERT_EQ(customer_add(scratch, {category, name, phone, notes}), "");
    }

    CategoryRecord record;
};

TEST_F(CategoryLists, TreeNamesInFileOrderAfterTheListMarker) {
    add("Shop", "Ann", "139");
    add(gbk("客户"), "Bob", "139");
    EXPECT_EQ(category_tree_names().names, (std::vector<std::string>{"Shop", gbk("客户")}));
}

TEST_F(CategoryLists, TreeFillGivesAHandMadeIndexItsMarker) {
    put_file("./cust/custindex", "[cust]\r\nShop=Shop\r\nOther=Other\r\n");
    // The first entry sits where the marker belongs, so the list passes it over; the marker the fill
    // writes goes to the end of the section and is listed like any entry.
    EXPECT_EQ(category_tree_names().names, (std::vector<std::string>{"Other", "000000"}));
    EXPECT_EQ(file_bytes("./cust/custindex"), "[cust]\r\nShop=Shop\r\nOther=Other\r\n000000=fffff\r\n");
}

TEST_F(CategoryLists, TreeOfAMissingIndexIsEmpty) {
    CategoryTree tree = category_tree_names();
    EXPECT_TRUE(tree.names.empty());
    // Before the first customer there is no customer folder, and no marker to miss.
    EXPECT_TRUE(tree.marker_written);
    EXPECT_FALSE(exists("./cust"));
}

TEST_F(CategoryLists, TreeIsReadWhenItsMarkerCannotBeWritten) {
    add("Shop", "Ann", "139");
    add("Other", "Bob", "139");
    CategoryTree tree;
    {
        DiskFull full;
        ASSERT_TRUE(full.active());
        tree = category_tree_names();
    }
    EXPECT_FALSE(tree.marker_written);
    EXPECT_EQ(tree.names, (std::vector<std::string>{"Shop", "Other"}));
    EXPECT_TRUE(category_tree_names().marker_written);
}

TEST_F(CategoryLists, SelectingACategoryFollowsTheIndex) {
    add("Shop", "Ann", "139");
    select_category(record, "shop");
    EXPECT_EQ(record.file, "Shop");
    EXPECT_EQ(record.selected_name, "shop");
    select_category(record, "Gone");
    EXPECT_EQ(record.file, "happy today to you!");
    EXPECT_EQ(record.selected_name, "Gone");
}

TEST_F(CategoryLists, CustomerRowsCarryPhoneAndNotes) {
    add("Shop", "Ann", "13900000001", "line one\r\nline two");
    add("Shop", gbk("张三"), "13900000002");
    auto rows = customers_of("Shop");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].number, 1);
    EXPECT_EQ(rows[0].name, "Ann");
    EXPECT_EQ(rows[0].phone, "13900000001");
    EXPECT_EQ(rows[0].notes, "line one\r\nline two");
    EXPECT_EQ(rows[1].number, 2);
    EXPECT_EQ(rows[1].name, gbk("张三"));
    EXPECT_EQ(rows[1].notes, "");
}

TEST_F(CategoryLists, MissingNotesFileLeavesTheRowEmptyAndTheListGoesOn) {
    for (const char* name : {"A1", "A2", "A3", "A4", "A5"}) {
        add("Shop", name, "139", std::string("notes of ") + name);
    }
    ASSERT_EQ(::remove("./cust/Shop_A3"), 0);
    auto rows = customers_of("Shop");
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[2].name, "A3");
    EXPECT_EQ(rows[2].notes, "");
    EXPECT_EQ(rows[4].name, "A5");
    EXPECT_EQ(rows[4].notes, "notes of A5");
}

TEST_F(CategoryLists, LongNotesAreCutWithoutSplittingACharacter) {
    std::string notes = "x";
    for (int i = 0; i < 600; ++i) {
        notes += gbk("字");
    }
    add("Shop", "Ann", "139", notes);
    auto rows = customers_of("Shop");
    ASSERT_EQ(rows.size(), 1u);
    // One byte and 499 characters make 999 bytes.
    EXPECT_EQ(rows[0].notes.size(), 999u);
    EXPECT_EQ(rows[0].notes.substr(997), gbk("字"));
}

TEST_F(CategoryLists, CustomerListOfAHandMadeFile) {
    put_file("./cust/Shop", "[cust]\r\nFirst=1\r\n\r\nAnn=139\r\nBob=\r\n");
    auto rows = customers_of("Shop");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].number, 2);
    EXPECT_EQ(rows[0].name, "Ann");
    EXPECT_EQ(rows[1].phone, "");
}

TEST_F(CategoryLists, CustomerListOfNoUsableFileIsEmpty) {
    add("Shop", "Ann", "139");
    EXPECT_TRUE(customers_of("").empty());
    EXPECT_TRUE(customers_of("custindex").empty());
    EXPECT_TRUE(customers_of("..").empty());
    EXPECT_TRUE(customers_of("happy today to you!").empty());
}

TEST_F(CategoryLists, NotesForTheBoxHaveCrLf) {
    add("Shop", "Ann", "139", "a\r\nb");
    EXPECT_EQ(customer_notes_for_box("Shop", "Ann"), std::optional<std::string>("a\r\r\nb"));
    put_file("./cust/Shop_Bob", "x\ny");
    EXPECT_EQ(customer_notes_for_box("Shop", "Bob"), std::optional<std::string>("x\r\ny"));
    EXPECT_EQ(customer_notes_for_box("Shop", "Nobody"), std::nullopt);
}

TEST_F(CategoryLists, AddressBookChoiceSetsOnlyTheFile) {
    add("Shop", "Ann", "139");
    add("Shop", "Bob", "139");
    record.selected_name = "Other";
    EXPECT_EQ(choose_address_book_category(record, "Shop"), (std::vector<std::string>{"Ann", "Bob"}));
    EXPECT_EQ(record.file, "Shop");
    EXPECT_EQ(record.selected_name, "Other");
    EXPECT_TRUE(choose_address_book_category(record, "Gone").empty());
    EXPECT_EQ(record.file, "happy today to you!");
}

} // namespace
