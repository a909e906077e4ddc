#include "platform/gbk.h"
#include "store/customer_files.h"
#include "store/directory_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

class CustomerFiles : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        make_customer_dir();
    }

    const std::string category = gbk("客户");
    const std::string customer = gbk("采购部");
};

TEST_F(CustomerFiles, GbkNamesBecomeUtf8Paths) {
    EXPECT_EQ(category_file_path(category), "./cust/客户");
    EXPECT_EQ(notes_file_path(category, customer), "./cust/客户_采购部");
    EXPECT_EQ(category_file_path("Shop 1"), "./cust/Shop 1");
    // Bytes that are no GBK stay as they are instead of collapsing into '?'.
    EXPECT_EQ(category_file_path("a\x81"), "./cust/a\x81");
    EXPECT_NE(category_file_path("a\x81"), category_file_path("a\x82"));
}

TEST_F(CustomerFiles, CategoryFileHasAUtf8NameAndGbkContents) {
    ASSERT_TRUE(category_index_write(category, category));
    ASSERT_TRUE(write_marker(category_file_path(category), customer_section, marker_by_editor));
    ASSERT_TRUE(category_write(category, customer, std::string("13912345678")));

    EXPECT_EQ(file_bytes("./cust/custindex"), "[cust]\r\n" + category + "=" + category + "\r\n");
    EXPECT_EQ(file_bytes("./cust/客户"), "[cust]\r\n000000=222222\r\n" + customer + "=13912345678\r\n");
    EXPECT_EQ(category_index_read(category, absent_for_list, 100), category);
    EXPECT_EQ(category_read(category, customer, absent_for_edit, 512), "13912345678");

    ASSERT_TRUE(category_write(category, customer, std::nullopt));
    EXPECT_EQ(category_read(category, customer, absent_for_edit, 512), absent_for_edit);
    ASSERT_TRUE(category_index_write(category, std::nullopt));
    EXPECT_EQ(file_bytes("./cust/custindex"), "[cust]\r\n");
}

TEST_F(CustomerFiles, RenamedCategoryKeepsItsFirstFile) {
    const std::string old_name = gbk("客户");
    const std::string new_name = gbk("老客户");
    ASSERT_TRUE(category_index_write(old_name, old_name));
    ASSERT_TRUE(category_write(old_name, customer, std::string("13912345678")));
    ASSERT_TRUE(category_index_write(old_name, std::nullopt));
    ASSERT_TRUE(category_index_write(new_name, old_name));

    std::string file = category_index_read(new_name, absent_for_list, 100);
    EXPECT_EQ(file, old_name);
    EXPECT_EQ(category_read(file, customer, absent_for_edit, 512), "13912345678");
    EXPECT_FALSE(exists("./cust/老客户"));
}

// How submission resolves the two halves of a customer token.
struct ResolveCase {
    const char* name;
    std::string category_part;
    std::string customer_part;
    std::string number;
};

void PrintTo(const ResolveCase& c, std::ostream* os) {
    *os << c.name;
}

class CustomerTokenLookup : public CustomerFiles, public ::testing::WithParamInterface<ResolveCase> {};

TEST_P(CustomerTokenLookup, FallsBackToTheNameItself) {
    ASSERT_TRUE(category_write(gbk("客户"), gbk("采购部"), std::string("13912345678")));
    const ResolveCase& c = GetParam();
    EXPECT_EQ(category_read(c.category_part, c.customer_part, c.customer_part, 512), c.number);
}

const ResolveCase resolve_cases[] = {
    {"known_customer", gbk("客户"), gbk("采购部"), "13912345678"},
    {"unknown_customer", gbk("客户"), gbk("销售部"), gbk("销售部")},
    {"unknown_category", gbk("供应商"), gbk("采购部"), gbk("采购部")},
    {"plain_number", "13800000000", "13800000000", "13800000000"},
};

INSTANTIATE_TEST_SUITE_P(Table, CustomerTokenLookup, ::testing::ValuesIn(resolve_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CustomerFiles, NotesAreGbkTextModeFilesUnderUtf8Names) {
    ASSERT_TRUE(write_notes(category, customer, gbk("第一行\n第二行")));
    EXPECT_EQ(file_bytes("./cust/客户_采购部"), gbk("第一行\r\n第二行"));
    EXPECT_EQ(read_notes(category, customer), gbk("第一行\n第二行"));

    ASSERT_TRUE(write_notes(category, customer, ""));
    EXPECT_TRUE(exists("./cust/客户_采购部"));
    EXPECT_EQ(read_notes(category, customer), "");

    ASSERT_TRUE(remove_notes(category, customer));
    EXPECT_FALSE(exists("./cust/客户_采购部"));
    EXPECT_FALSE(read_notes(category, customer));
    EXPECT_TRUE(remove_notes(category, customer)); // already gone
}

struct NameCase {
    const char* name;
    std::string text;
    bool category_ok;
    bool customer_ok;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class CustomerNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(CustomerNames, RefusesNamesThatCannotBeFiles) {
    EXPECT_EQ(usable_category_name(GetParam().text), GetParam().category_ok);
    EXPECT_EQ(usable_customer_name(GetParam().text), GetParam().customer_ok);
}

std::string chinese_bytes(size_t characters) {
    std::string s;
    for (size_t i = 0; i < characters; ++i) {
        s += gbk("客");
    }
    return s;
}

const NameCase name_cases[] = {
    {"ordinary", "Shop", true, true},
    {"one_byte", "a", true, true},
    {"left_empty_by_cleaning", "", false, false},
    {"dot", ".", false, false},
    {"dot_dot", "..", false, false},
    {"three_dots", "...", true, true},
    {"99_bytes", std::string(99, 'a'), true, true},
    {"100_bytes", std::string(100, 'a'), false, false},
    {"49_chinese_characters", chinese_bytes(49), true, true},
    {"50_chinese_characters", chinese_bytes(50), false, false},
    {"index_file_name", "custindex", false, true},
};

INSTANTIATE_TEST_SUITE_P(Table, CustomerNames, ::testing::ValuesIn(name_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CustomerNotesPath, FitsIn139Bytes) {
    // "./cust/" (7) + file + "_" (1) + customer
    EXPECT_TRUE(notes_path_fits(std::string(65, 'f'), std::string(66, 'c')));
    EXPECT_FALSE(notes_path_fits(std::string(65, 'f'), std::string(67, 'c')));
    EXPECT_TRUE(notes_path_fits(chinese_bytes(33), chinese_bytes(32) + "c"));
    EXPECT_FALSE(notes_path_fits(chinese_bytes(33), chinese_bytes(33)));
}

} // namespace
