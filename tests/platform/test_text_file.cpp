#include "platform/fs.h"
#include "platform/text_file.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

class TextFile : public TempDirTest {};

TEST_F(TextFile, LineFeedsAreStoredAsCrLfAndReadBack) {
    ASSERT_TRUE(write_text_file("f", "a\nb\n"));
    EXPECT_EQ(file_bytes("f"), "a\r\nb\r\n");
    EXPECT_EQ(read_text_file("f").value(), "a\nb\n");
}

TEST_F(TextFile, CrLfInsideTheTextBecomesCrCrLf) {
    ASSERT_TRUE(write_text_file("f", "139\r\n138"));
    EXPECT_EQ(file_bytes("f"), "139\r\r\n138");
    EXPECT_EQ(read_text_file("f").value(), "139\r\n138");
}

TEST_F(TextFile, LoneCrIsKept) {
    ASSERT_TRUE(write_text_file("f", "a\rb"));
    EXPECT_EQ(read_text_file("f").value(), "a\rb");
}

TEST_F(TextFile, MissingFileReadsAsNothing) {
    EXPECT_FALSE(read_text_file("nope"));
    EXPECT_FALSE(read_first_line("nope", 9));
}

TEST_F(TextFile, WriteReplacesTheWholeFile) {
    ASSERT_TRUE(write_text_file("f", "long old text"));
    ASSERT_TRUE(write_text_file("f", "new"));
    EXPECT_EQ(file_bytes("f"), "new");
}

TEST_F(TextFile, WriteIntoMissingDirectoryFails) {
    EXPECT_FALSE(write_text_file("no/such/dir/f", "x"));
    EXPECT_FALSE(replace_file_atomically("no/such/dir/f", "x"));
}

TEST_F(TextFile, FirstLineIsCutAtLineEndAndLimit) {
    put_file("f", "12345\r\n678");
    EXPECT_EQ(read_first_line("f", 9).value(), "12345");
    EXPECT_EQ(read_first_line("f", 3).value(), "123");
    put_file("g", "");
    EXPECT_EQ(read_first_line("g", 9).value(), "");
}

TEST_F(TextFile, AtomicReplaceLeavesOnlyTheFile) {
    ASSERT_TRUE(replace_file_atomically("acc", "5"));
    ASSERT_TRUE(replace_file_atomically("acc", "6"));
    EXPECT_EQ(file_bytes("acc"), "6");
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(".")) {
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST_F(TextFile, MakeDirIgnoresAnExistingDirectory) {
    make_dir("d");
    put_file("d/x", "1");
    make_dir("d");
    EXPECT_EQ(file_bytes("d/x"), "1");
    EXPECT_TRUE(remove_file("d/x"));
    EXPECT_TRUE(remove_file("d/x")); // already gone is no error
    EXPECT_FALSE(file_exists("d/x"));
}

} // namespace
