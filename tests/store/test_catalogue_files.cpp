#include "platform/gbk.h"
#include "store/catalogue_files.h"
#include "store/directory_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

class CatalogueFiles : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        make_catalogue_dir();
    }
};

TEST_F(CatalogueFiles, MissingCounterIsCreatedHoldingZeroBeforeItIsRead) {
    EXPECT_EQ(read_catalogue_counter(), 0);
    EXPECT_EQ(file_bytes(catalogue_counter_file), "0");
}

TEST_F(CatalogueFiles, CounterCountsAddsMinusDeletesAsABareNumber) {
    EXPECT_EQ(step_catalogue_counter(+1), 1);
    EXPECT_EQ(file_bytes(catalogue_counter_file), "1");
    EXPECT_EQ(step_catalogue_counter(+1), 2);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(step_catalogue_counter(-1));
    }
    EXPECT_EQ(file_bytes(catalogue_counter_file), "-1");
    EXPECT_EQ(read_catalogue_counter(), -1);
}

struct CounterCase {
    const char* name;
    std::string stored;
    std::int64_t value;
};

void PrintTo(const CounterCase& c, std::ostream* os) {
    *os << c.name;
}

class CatalogueCounter : public CatalogueFiles, public ::testing::WithParamInterface<CounterCase> {};

TEST_P(CatalogueCounter, FirstLineIsTakenByDecimalConversion) {
    put_file(catalogue_counter_file, GetParam().stored);
    EXPECT_EQ(read_catalogue_counter(), GetParam().value);
    EXPECT_EQ(file_bytes(catalogue_counter_file), GetParam().stored);
    ASSERT_EQ(step_catalogue_counter(+1), GetParam().value + 1);
    EXPECT_EQ(file_bytes(catalogue_counter_file), std::to_string(GetParam().value + 1));
}

const CounterCase counter_cases[] = {
    {"bare_number", "41", 41},
    {"number_with_line_end", "41\r\n", 41},
    {"empty_file", "", 0},
    {"garbage", "many", 0},
    {"blanks_and_trailing_text", "  7 entries", 7},
    {"second_line_ignored", "\r\n9", 0},
    {"digit_within_511_bytes", std::string(510, '0') + "9", 9},
    {"digit_beyond_511_bytes", std::string(511, '0') + "9", 0},
};

INSTANTIATE_TEST_SUITE_P(Table, CatalogueCounter, ::testing::ValuesIn(counter_cases),
                         [](const auto& info) { return std::string(info.param.name); });

class CatalogueWithoutDirectory : public TempDirTest {};

TEST_F(CatalogueWithoutDirectory, CounterReadsZeroAndIsNotWritten) {
    // Without ./query/ the counter cannot be created: it reads as 0, and a step reports the failure.
    EXPECT_EQ(read_catalogue_counter(), 0);
    EXPECT_EQ(step_catalogue_counter(+1), std::nullopt);
    EXPECT_FALSE(exists(catalogue_counter_file));
}

TEST_F(CatalogueFiles, CodesAndRepliesAreStoredAsGbkInSectionQuery) {
    ASSERT_TRUE(write_marker(catalogue_file, catalogue_section, marker_by_editor));
    ASSERT_TRUE(catalogue_write("11", gbk("今天晴")));
    ASSERT_TRUE(catalogue_write(gbk("天气"), std::string("sunny")));
    EXPECT_EQ(file_bytes(catalogue_file),
              "[query]\r\n000000=222222\r\n11=" + gbk("今天晴") + "\r\n" + gbk("天气") + "=sunny\r\n");
    EXPECT_EQ(catalogue_read(gbk("天气"), absent_for_edit, 1024), "sunny");

    ASSERT_TRUE(catalogue_write("11", std::nullopt));
    EXPECT_EQ(catalogue_read("11", absent_for_edit, 10), absent_for_edit);
}

TEST_F(CatalogueFiles, EngineTakesAtMost139BytesOfAReply) {
    std::string reply;
    for (int i = 0; i < 80; ++i) {
        reply += gbk("晴");
    }
    ASSERT_TRUE(catalogue_write("w", reply));
    EXPECT_EQ(catalogue_read("w", "", 140), reply.substr(0, 139));
    EXPECT_EQ(catalogue_read("W", "", 140).size(), 139u); // codes ignore letter case
}

struct MemberCase {
    const char* name;
    const char* file; // nullptr: no members file
    bool member;
};

void PrintTo(const MemberCase& c, std::ostream* os) {
    *os << c.name;
}

class MembersFile : public TempDirTest, public ::testing::WithParamInterface<MemberCase> {};

TEST_P(MembersFile, DecidesWhoIsAMember) {
    if (GetParam().file) {
        put_file(members_file, GetParam().file);
    }
    EXPECT_EQ(is_member("13912345678"), GetParam().member);
}

const MemberCase member_cases[] = {
    {"value_one", "[SET]\r\n13912345678=1\r\n", true},
    {"empty_value", "[SET]\r\n13912345678=\r\n", true},
    {"text_value_is_zero", "[SET]\r\n13912345678=yes\r\n", true},
    {"value_123219", "[SET]\r\n13912345678=123219\r\n", false},
    {"value_reading_as_123219", "[SET]\r\n13912345678=0123219 vip\r\n", false},
    {"value_123219_with_sign", "[SET]\r\n13912345678=+123219\r\n", false},
    {"value_123218", "[SET]\r\n13912345678=123218\r\n", true},
    {"other_number_only", "[SET]\r\n13900000000=1\r\n", false},
    {"entry_in_other_section", "[OTHER]\r\n13912345678=1\r\n", false},
    {"lower_case_section", "[set]\r\n13912345678=1\r\n", true},
    {"no_file", nullptr, false},
};

INSTANTIATE_TEST_SUITE_P(Table, MembersFile, ::testing::ValuesIn(member_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CatalogueFiles, MemberValueIsReadWithRoomFor511Characters) {
    put_file(members_file, "[SET]\r\n13912345678=" + std::string(600, '7') + "\r\n");
    EXPECT_EQ(read_member_value("13912345678"), std::string(511, '7'));
    EXPECT_EQ(read_member_value("13900000000"), "123219");
}

} // namespace
