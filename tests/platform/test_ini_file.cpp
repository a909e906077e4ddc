#include "platform/ini_file.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

class IniFile : public TempDirTest {};

struct ReadCase {
    const char* name;
    const char* file; // nullptr: no file
    const char* section;
    const char* key;
    std::size_t buffer;
    const char* expected;
};

class IniRead : public TempDirTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(IniRead, GivesValueOrDefault) {
    const ReadCase& c = GetParam();
    if (c.file) {
        put_file("t.ini", c.file);
    }
    EXPECT_EQ(ini_read("t.ini", c.section, c.key, "dflt", c.buffer), c.expected);
}

const ReadCase read_cases[] = {
    {"missing_file", nullptr, "SET", "COM", 20, "dflt"},
    {"missing_section", "[OTHER]\r\nCOM=COM2\r\n", "SET", "COM", 20, "dflt"},
    {"missing_key", "[SET]\r\nRATE=9600\r\n", "SET", "COM", 20, "dflt"},
    {"present_key", "[SET]\r\nCOM=COM2\r\n", "SET", "COM", 20, "COM2"},
    {"section_and_key_ignore_case", "[set]\r\ncom=COM3\r\n", "SET", "Com", 20, "COM3"},
    {"blanks_trimmed", "[ SET ]\r\n  COM  =   COM4  \r\n", "SET", "COM", 20, "COM4"},
    {"double_quotes_stripped", "[SET]\r\nCOM=\"COM5 \"\r\n", "SET", "COM", 20, "COM5 "},
    {"single_quotes_stripped", "[SET]\r\nCOM='x'\r\n", "SET", "COM", 20, "x"},
    {"unmatched_quote_kept", "[SET]\r\nCOM=\"x\r\n", "SET", "COM", 20, "\"x"},
    {"empty_value_is_not_default", "[SET]\r\nCOM=\r\n", "SET", "COM", 20, ""},
    {"value_cut_to_buffer", "[SET]\r\nSMSCODE=8613800000500123\r\n", "SET", "SMSCODE", 16, "861380000050012"},
    {"default_cut_to_buffer", "[SET]\r\n", "SET", "COM", 3, "df"},
    {"key_of_other_section_not_seen", "[A]\r\nk=1\r\n[B]\r\nj=2\r\n", "B", "k", 20, "dflt"},
    {"value_with_equals_sign", "[q]\r\n1=a=b\r\n", "q", "1", 20, "a=b"},
    {"lf_only_lines", "[SET]\nCOM=COM6\n", "SET", "COM", 20, "COM6"},
    {"first_of_duplicate_keys", "[SET]\r\nCOM=a\r\nCOM=b\r\n", "SET", "COM", 20, "a"},
    {"line_without_equals_is_no_key", "[SET]\r\nCOM\r\n", "SET", "COM", 20, "dflt"},
    {"first_of_duplicate_sections", "[A]\r\nk=1\r\n[a]\r\nk=2\r\nj=3\r\n", "A", "k", 20, "1"},
    {"key_only_in_a_later_duplicate_section", "[A]\r\nk=1\r\n[A]\r\nj=3\r\n", "A", "j", 20, "dflt"},
    {"lookup_key_blanks_ignored", "[q]\r\n12=x\r\n", "q", " 12 ", 20, "x"},
};

INSTANTIATE_TEST_SUITE_P(Table, IniRead, ::testing::ValuesIn(read_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFile, SnapshotServesManyKeysFromOneParse) {
    put_file("t.ini", "[query]\r\n000000=222222\r\na=1\r\nB=2\r\n[other]\r\na=9\r\n");
    IniSnapshot snapshot("t.ini");
    put_file("t.ini", ""); // later changes are not seen by the snapshot
    EXPECT_EQ(snapshot.read("query", "a", "-", 20), "1");
    EXPECT_EQ(snapshot.read("QUERY", "b", "-", 20), "2");
    EXPECT_EQ(snapshot.read("other", "a", "-", 20), "9");
    EXPECT_EQ(snapshot.read("query", "c", "-", 20), "-");
    EXPECT_FALSE(IniSnapshot("missing.ini").value("query", "a"));
}

TEST_F(IniFile, WriteCreatesFileSectionAndKey) {
    ASSERT_TRUE(ini_write("t.ini", "SET", "MTYPE", std::string("2")));
    EXPECT_EQ(file_bytes("t.ini"), "[SET]\r\nMTYPE=2\r\n");
}

TEST_F(IniFile, WriteReplacesInPlaceAndKeepsOtherLines) {
    put_file("t.ini", "; comment\r\n[SET]\r\nCOM=COM1\r\nRATE=19200\r\n\r\n[X]\r\ny=1\r\n");
    ASSERT_TRUE(ini_write("t.ini", "set", "com", std::string("COM9")));
    EXPECT_EQ(file_bytes("t.ini"), "; comment\r\n[SET]\r\ncom=COM9\r\nRATE=19200\r\n\r\n[X]\r\ny=1\r\n");
}

TEST_F(IniFile, NewKeyGoesAtTheEndOfItsSection) {
    put_file("t.ini", "[SET]\r\nCOM=COM1\r\n\r\n[X]\r\ny=1\r\n");
    ASSERT_TRUE(ini_write("t.ini", "SET", "RATE", std::string("9600")));
    EXPECT_EQ(file_bytes("t.ini"), "[SET]\r\nCOM=COM1\r\nRATE=9600\r\n\r\n[X]\r\ny=1\r\n");
}

TEST_F(IniFile, NewSectionIsAppended) {
    put_file("t.ini", "[SET]\r\nCOM=COM1\r\n");
    ASSERT_TRUE(ini_write("t.ini", "cust", "a", std::string("b")));
    EXPECT_EQ(file_bytes("t.ini"), "[SET]\r\nCOM=COM1\r\n[cust]\r\na=b\r\n");
}

TEST_F(IniFile, WriteWithoutValueDeletesTheKey) {
    put_file("t.ini", "[SET]\r\nCOM=COM1\r\nRATE=19200\r\n");
    ASSERT_TRUE(ini_write("t.ini", "SET", "COM", std::nullopt));
    EXPECT_EQ(file_bytes("t.ini"), "[SET]\r\nRATE=19200\r\n");
    EXPECT_FALSE(ini_has_key("t.ini", "SET", "COM"));
}

TEST_F(IniFile, DeletingAMissingKeyCreatesNothing) {
    ASSERT_TRUE(ini_write("t.ini", "SET", "COM", std::nullopt));
    EXPECT_FALSE(exists("t.ini"));
}

TEST_F(IniFile, EmptyValueIsWrittenAndReadBackEmpty) {
    ASSERT_TRUE(ini_write("t.ini", "SET", "COM", std::string()));
    EXPECT_EQ(file_bytes("t.ini"), "[SET]\r\nCOM=\r\n");
    EXPECT_TRUE(ini_has_key("t.ini", "SET", "COM"));
    EXPECT_EQ(ini_read("t.ini", "SET", "COM", "COM1", 20), "");
}

TEST_F(IniFile, GbkKeysAndValuesRoundTrip) {
    const std::string key = "\xbf\xcd\xbb\xa7";   // 客户
    const std::string value = "\xb2\xc9\xb9\xba"; // 采购
    ASSERT_TRUE(ini_write("t.ini", "cust", key, value));
    EXPECT_EQ(ini_read("t.ini", "cust", key, "none", 100), value);
}

TEST_F(IniFile, WriteLeavesNoTemporaryFiles) {
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(ini_write("t.ini", "SET", "K" + std::to_string(i), std::string("v")));
    }
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(".")) {
        ++files;
    }
    EXPECT_EQ(files, 1);
}

} // namespace

namespace {

class IniUnreadable : public TempDirTest {};

// A file that is there but cannot be read is never replaced by one holding the new entry alone, and a
// deletion from it is no success. A directory stands in for it: it cannot be read as a file, for root too.
TEST_F(IniUnreadable, WritesAndDeletionsFailAndLeaveItAlone) {
    std::filesystem::create_directories("t.ini/kept");
    EXPECT_FALSE(ini_write("t.ini", "SET", "COM", std::string("COM2")));
    EXPECT_FALSE(ini_write("t.ini", "SET", "COM", std::nullopt));
    EXPECT_TRUE(std::filesystem::is_directory("t.ini/kept"));
}

} // namespace
