#include "platform/gbk.h"
#include "platform/ini_file.h"
#include "store/directory_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

const char* const file = "./data";

class DirectoryFiles : public TempDirTest {};

std::vector<std::string> keys_of(const std::vector<DirectoryEntry>& entries) {
    std::vector<std::string> keys;
    for (const auto& e : entries) {
        keys.push_back(e.key);
    }
    return keys;
}

TEST_F(DirectoryFiles, MarkerOpensANewFileRightAfterTheSectionLine) {
    ASSERT_TRUE(write_marker(file, "query", marker_by_editor));
    ASSERT_TRUE(ini_write(file, "query", "11", std::string("weather")));
    EXPECT_EQ(file_bytes(file), "[query]\r\n000000=222222\r\n11=weather\r\n");

    // Another writer's marker replaces the value in place and adds no second line.
    ASSERT_TRUE(write_marker(file, "query", marker_by_list_fill));
    EXPECT_EQ(file_bytes(file), "[query]\r\n000000=fffff\r\n11=weather\r\n");
}

TEST_F(DirectoryFiles, MarkerWrittenLateLandsAfterTheEntriesAndIsListed) {
    // A file first created without the marker gets it at the end of the section when a marker writer
    // comes along; the lists then drop the first real entry and show the marker instead.
    put_file(file, "[query]\r\n11=weather\r\n");
    ASSERT_TRUE(write_marker(file, "query", marker_by_editor));
    auto entries = read_directory_entries(file, "query", absent_for_list, 1000);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].number, 1);
    EXPECT_EQ((*entries)[0].key, "000000");
    EXPECT_EQ((*entries)[0].value, "222222");
}

TEST_F(DirectoryFiles, FileWithoutMarkerLosesItsFirstEntryFromTheListOnly) {
    put_file(file, "[query]\r\n11=weather\r\n12=news\r\n");
    auto entries = read_directory_entries(file, "query", absent_for_list, 1000);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].number, 1);
    EXPECT_EQ((*entries)[0].key, "12");
    EXPECT_EQ((*entries)[0].value, "news");
    // A look-up by key still finds the hidden entry.
    EXPECT_EQ(ini_read(file, "query", "11", absent_for_edit, 140), "weather");
}

TEST_F(DirectoryFiles, MissingFileIsNoListAndShortFileAnEmptyOne) {
    EXPECT_FALSE(read_directory_keys(file));
    EXPECT_FALSE(read_directory_entries(file, "query", absent_for_list, 1000));

    for (const char* bytes : {"", "[query]\r\n", "[query]\r\n000000=222222\r\n", "[query]\r\n000000=222222"}) {
        put_file(file, bytes);
        auto entries = read_directory_entries(file, "query", absent_for_list, 1000);
        ASSERT_TRUE(entries) << bytes;
        EXPECT_TRUE(entries->empty()) << bytes;
    }
}

// Numbering and skipping of the lines after the marker.
struct LineCase {
    const char* name;
    const char* body; // what follows "[cust]\r\n000000=fffff\r\n"
    std::vector<DirectoryLine> expected;
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

class DirectoryLines : public TempDirTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(DirectoryLines, NumberEveryLineAndSkipShortOnes) {
    const LineCase& c = GetParam();
    put_file(file, std::string("[cust]\r\n000000=fffff\r\n") + c.body);
    auto lines = read_directory_keys(file);
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), c.expected.size());
    for (size_t i = 0; i < c.expected.size(); ++i) {
        EXPECT_EQ((*lines)[i].number, c.expected[i].number) << i;
        EXPECT_EQ((*lines)[i].key, c.expected[i].key) << i;
    }
}

const LineCase line_cases[] = {
    {"entries_numbered_from_one", "a=1\r\nb=2\r\nc=3\r\n", {{1, "a"}, {2, "b"}, {3, "c"}}},
    {"blank_lines_counted_not_listed", "a=1\r\n\r\n\r\nb=2\r\n", {{1, "a"}, {4, "b"}}},
    {"last_line_without_line_end", "a=1\r\nb=2", {{1, "a"}, {2, "b"}}},
    {"one_character_last_line_skipped", "a=1\r\nx", {{1, "a"}}},
    {"one_character_and_line_end_is_two", "x\r\na=1\r\n", {{1, "x\n"}, {2, "a"}}},
    {"line_without_equals_keeps_its_line_end", "plain text\r\nb=2\r\n", {{1, "plain text\n"}, {2, "b"}}},
    {"key_is_text_before_first_equals", "a=b=c\r\n=empty\r\n", {{1, "a"}, {2, ""}}},
    {"blanks_around_key_kept", " a =1\r\n", {{1, " a "}}},
    {"lf_only_line_ends", "a=1\n\nb=2\n", {{1, "a"}, {3, "b"}}},
    {"gbk_keys", "\xbf\xcd\xbb\xa7=\xb2\xc9\r\n", {{1, "\xbf\xcd\xbb\xa7"}}},
};

INSTANTIATE_TEST_SUITE_P(Table, DirectoryLines, ::testing::ValuesIn(line_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DirectoryFiles, ValuesComeFromTheIniReadNotFromTheLine) {
    put_file(file, "[cust]\r\n"
                   "000000=222222\r\n"
                   "Alice=13900000001\r\n"
                   "alice=13900000002\r\n" // same key to the profile reader: the first value wins
                   " Bob = 13900000003 \r\n"
                   "no equals sign\r\n"
                   "Carol=\r\n"
                   "Dave=139000000041234567890\r\n");
    auto entries = read_directory_entries(file, "cust", absent_for_list, 16);
    ASSERT_TRUE(entries);
    EXPECT_EQ(keys_of(*entries),
              (std::vector<std::string>{"Alice", "alice", " Bob ", "no equals sign\n", "Carol", "Dave"}));
    std::vector<std::string> values;
    for (const auto& e : *entries) {
        values.push_back(e.value);
    }
    EXPECT_EQ(values, (std::vector<std::string>{"13900000001", "13900000001", "13900000003", "happy today to ", "",
                                                "139000000041234"}));
}

TEST_F(DirectoryFiles, EntriesOfAnotherSectionReadAsAbsent) {
    put_file(file, "[query]\r\n000000=222222\r\n11=weather\r\n");
    auto entries = read_directory_entries(file, "cust", absent_for_list, 1000);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].value, absent_for_list);
}

TEST(DirectorySentinels, AreTheStoredBytes) {
    EXPECT_STREQ(marker_key, "000000");
    EXPECT_STREQ(marker_by_editor, "222222");
    EXPECT_STREQ(marker_by_list_fill, "fffff");
    EXPECT_STREQ(absent_for_edit, "wwwwww");
    EXPECT_STREQ(absent_for_list, "happy today to you!");
    EXPECT_STREQ(absent_for_category_test, "qumvel!@#z");
    EXPECT_STREQ(absent_member, "123219");
}

class DirectorySentinel : public TempDirTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DirectorySentinel, StoredSentinelCannotBeToldFromAMissingKey) {
    const char* sentinel = GetParam();
    put_file(file, std::string("[query]\r\n000000=222222\r\nstored=") + sentinel + "\r\n");
    EXPECT_EQ(ini_read(file, "query", "stored", sentinel, 1024), ini_read(file, "query", "missing", sentinel, 1024));
    auto entries = read_directory_entries(file, "query", sentinel, 1024);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].value, sentinel);
}

INSTANTIATE_TEST_SUITE_P(Table, DirectorySentinel,
                         ::testing::Values(absent_for_edit, absent_for_list, absent_for_category_test, absent_member));

struct CleanCase {
    const char* name;
    std::string in;
    std::string out;
};

void PrintTo(const CleanCase& c, std::ostream* os) {
    *os << c.name;
}

class FileNameCleaning : public ::testing::TestWithParam<CleanCase> {};

TEST_P(FileNameCleaning, RemovesTheNineForbiddenCharacters) {
    EXPECT_EQ(clean_file_name(GetParam().in), GetParam().out);
}

const CleanCase clean_cases[] = {
    {"plain_name_unchanged", "Smith & Co. 2", "Smith & Co. 2"},
    {"slash_between_letters", "a/b", "ab"},
    {"all_nine_removed", "\\/:*?\"<>|", ""},
    {"mixed", "<a:b*c?>|d\"e\\f", "abcdef"},
    {"chinese_unchanged", gbk("客户"), gbk("客户")},
    {"chinese_with_slash", gbk("客户/采购部"), gbk("客户采购部")},
    {"second_byte_backslash_kept", gbk("誠信"), gbk("誠信")},
    {"second_byte_bar_kept", gbk("膢"), gbk("膢")},
    {"backslash_after_double_byte_removed", gbk("客\\"), gbk("客")},
    {"stray_lead_byte_before_slash", "\x81/x", "\x81x"},
    {"dots_stay", "..", ".."},
};

INSTANTIATE_TEST_SUITE_P(Table, FileNameCleaning, ::testing::ValuesIn(clean_cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
