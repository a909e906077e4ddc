#include "directory/catalogue_editor.h"
#include "directory/unwritable_files.h"
#include "directory/write_failure.h"
#include "platform/gbk.h"
#include "support/param_name.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

const std::string catalogue = "./query/query";
const std::string counter = "./query/acc";

std::vector<CatalogueRow> listed() {
    std::vector<CatalogueRow> rows;
    catalogue_list([&](const CatalogueRow& row) {
        rows.push_back(row);
        return true;
    });
    return rows;
}

class CatalogueEditor : public TempDirTest {};

TEST_F(CatalogueEditor, FirstAddWritesMarkerEntryAndCounter) {
    EXPECT_EQ(catalogue_add("11", gbk("天气晴")), "");
    EXPECT_EQ(file_bytes(catalogue), "[query]\r\n000000=222222\r\n11=" + gbk("天气晴") + "\r\n");
    EXPECT_EQ(file_bytes(counter), "1");
}

TEST_F(CatalogueEditor, AddingAnExistingCodeChangesNothing) {
    ASSERT_EQ(catalogue_add("11", "first"), "");
    std::string before = file_bytes(catalogue);
    EXPECT_EQ(catalogue_add("11", "second"), "");
    EXPECT_EQ(file_bytes(catalogue), before);
    EXPECT_EQ(file_bytes(counter), "1");
}

TEST_F(CatalogueEditor, StoredSentinelReadsAsAbsent) {
    // A reply that happens to equal the editor's sentinel looks like no reply at all.
    ASSERT_EQ(catalogue_modify("11", "wwwwww"), "");
    EXPECT_EQ(catalogue_look_up("11").text, gbk("无此信息!"));
    ASSERT_EQ(catalogue_add("11", "real"), "");
    EXPECT_EQ(catalogue_look_up("11").text, "real");
    EXPECT_EQ(file_bytes(counter), "1");
}

TEST_F(CatalogueEditor, ModifyOfAMissingCodeAddsItWithoutCounting) {
    EXPECT_EQ(catalogue_modify("22", "text"), "");
    // Modify writes no marker: the section line is followed by the entry itself.
    EXPECT_EQ(file_bytes(catalogue), "[query]\r\n22=text\r\n");
    EXPECT_FALSE(exists(counter));
    ASSERT_EQ(catalogue_modify("22", "other"), "");
    EXPECT_EQ(catalogue_look_up("22").text, "other");
}

TEST_F(CatalogueEditor, DeleteLowersTheCounterEvenForAMissingCode) {
    ASSERT_EQ(catalogue_add("11", "a"), "");
    ASSERT_EQ(catalogue_add("12", "b"), "");
    ASSERT_EQ(catalogue_delete("11"), "");
    EXPECT_EQ(file_bytes(counter), "1");
    EXPECT_EQ(catalogue_look_up("11").text, gbk("无此信息!"));
    EXPECT_EQ(catalogue_look_up("12").text, "b");
    ASSERT_EQ(catalogue_delete("99"), "");
    ASSERT_EQ(catalogue_delete("99"), "");
    EXPECT_EQ(file_bytes(counter), "-1");
}

TEST_F(CatalogueEditor, DeleteWithoutCounterFileStartsFromZero) {
    ASSERT_EQ(catalogue_delete("11"), "");
    EXPECT_EQ(file_bytes(counter), "-1");
    EXPECT_TRUE(exists("./query"));
}

TEST_F(CatalogueEditor, LineBreaksAreStoredAsBlanks) {
    ASSERT_EQ(catalogue_add("11", "one\r\ntwo\r\nthree"), "");
    EXPECT_EQ(catalogue_look_up("11").text, "one  two  three");
    ASSERT_EQ(catalogue_modify("11", "a\nb\rc"), "");
    EXPECT_EQ(catalogue_look_up("11").text, "a b c");
}

TEST_F(CatalogueEditor, LookUpOfShortAndAbsentCodes) {
    EXPECT_EQ(catalogue_look_up("").text, gbk("无此信息"));
    EXPECT_EQ(catalogue_look_up("1").text, gbk("无此信息"));
    EXPECT_EQ(catalogue_look_up("12").text, gbk("无此信息!"));
    // Look-up writes the marker even when it finds nothing.
    EXPECT_EQ(file_bytes(catalogue), "[query]\r\n000000=222222\r\n");
}

// An operation whose file cannot be written says so and leaves the catalogue as the row tells. Before
// it, code 10 is stored and counted.
struct FailedWriteCase {
    const char* name;
    std::string blocked; // the file a folder stands in for; empty for a full disk
    std::function<std::string()> operation;
    std::string catalogue_after; // unless the catalogue is the blocked file
    std::string counter_after;   // unless the counter is the blocked file
};

void PrintTo(const FailedWriteCase& c, std::ostream* os) {
    *os << c.name;
}

class FailedWrite : public CatalogueEditor, public ::testing::WithParamInterface<FailedWriteCase> {};

const std::string with_ten = "[query]\r\n000000=222222\r\n10=ten\r\n";
const std::string without_codes = "[query]\r\n000000=222222\r\n";

TEST_P(FailedWrite, IsReportedAndLeavesNoHalfDoneChange) {
    const FailedWriteCase& c = GetParam();
    ASSERT_EQ(catalogue_add("10", "ten"), "");
    std::string said;
    if (c.blocked.empty()) {
        DiskFull full;
        ASSERT_TRUE(full.active());
        said = c.operation();
    } else {
        ASSERT_TRUE(block_with_folder(c.blocked));
        said = c.operation();
    }

    EXPECT_EQ(said, write_failed_message());
    if (c.blocked != catalogue) {
        EXPECT_EQ(file_bytes(catalogue), c.catalogue_after);
    }
    if (c.blocked != counter) {
        EXPECT_EQ(file_bytes(counter), c.counter_after);
    }
}

std::string add_eleven() {
    return catalogue_add("11", "new");
}
std::string modify_ten() {
    return catalogue_modify("10", "new");
}
std::string delete_ten() {
    return catalogue_delete("10");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedWrite,
    ::testing::Values(FailedWriteCase{"add, disk full", "", add_eleven, with_ten, "1"},
                      FailedWriteCase{"modify, disk full", "", modify_ten, with_ten, "1"},
                      FailedWriteCase{"delete, disk full", "", delete_ten, with_ten, "1"},
                      FailedWriteCase{"add, catalogue unwritable", catalogue, add_eleven, "", "1"},
                      FailedWriteCase{"modify, catalogue unwritable", catalogue, modify_ten, "", "1"},
                      // The code is taken out again, so that adding once more stores and counts it.
                      FailedWriteCase{"add, counter unwritable", counter, add_eleven, with_ten, ""},
                      // The code is gone, uncounted: deleting again lowers the counter.
                      FailedWriteCase{"delete, counter unwritable", counter, delete_ten, without_codes, ""}),
    CaseName());

// Once the counter can be written again, the operator's second try does what the first could not.
TEST_F(CatalogueEditor, SecondTryAfterAFailedCounterCompletesAddAndDelete) {
    ASSERT_EQ(catalogue_add("10", "ten"), "");
    ASSERT_TRUE(block_with_folder(counter));
    ASSERT_EQ(catalogue_add("11", "new"), write_failed_message());
    ASSERT_GT(std::filesystem::remove_all(counter), 0u);
    put_file(counter, "1");
    EXPECT_EQ(catalogue_add("11", "new"), "");
    EXPECT_EQ(catalogue_look_up("11").text, "new");
    EXPECT_EQ(file_bytes(counter), "2");

    ASSERT_TRUE(block_with_folder(counter));
    ASSERT_EQ(catalogue_delete("11"), write_failed_message());
    ASSERT_GT(std::filesystem::remove_all(counter), 0u);
    put_file(counter, "2");
    EXPECT_EQ(catalogue_delete("11"), "");
    EXPECT_EQ(file_bytes(counter), "1");
    EXPECT_EQ(file_bytes(catalogue), with_ten);
}

TEST_F(CatalogueEditor, LookUpAnswersWhenItsMarkerCannotBeWritten) {
    EXPECT_TRUE(catalogue_look_up("11").marker_written);
    ASSERT_TRUE(block_with_folder(catalogue));
    CatalogueLookUp found = catalogue_look_up("11");
    EXPECT_FALSE(found.marker_written);
    EXPECT_EQ(found.text, gbk("无此信息!"));
}

// The 64-unit rule, counted in UTF-16 units of the typed text with its CR LF.
struct LengthCase {
    const char* name;
    std::string typed;
    bool fits;
};

void PrintTo(const LengthCase& c, std::ostream* os) {
    *os << c.name;
}

class ReplyLength : public CatalogueEditor, public ::testing::WithParamInterface<LengthCase> {};

std::string times(const std::string& unit, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += unit;
    }
    return out;
}

TEST_P(ReplyLength, AddAndModifyAcceptOrRefuse) {
    const LengthCase& c = GetParam();
    EXPECT_EQ(reply_text_fits(c.typed), c.fits);
    EXPECT_EQ(catalogue_add("11", c.typed), c.fits ? "" : gbk("收信内容不能太多！"));
    EXPECT_EQ(catalogue_modify("12", c.typed), c.fits ? "" : gbk("收信内容不能太多!!"));
    EXPECT_EQ(catalogue_look_up("11").text != gbk("无此信息!"), c.fits);
    EXPECT_EQ(catalogue_look_up("12").text != gbk("无此信息!"), c.fits);
    EXPECT_EQ(file_bytes(counter), c.fits ? "1" : "");
}

INSTANTIATE_TEST_SUITE_P(Cases, ReplyLength,
                         ::testing::Values(LengthCase{"64 letters", times("a", 64), true},
                                           LengthCase{"65 letters", times("a", 65), false},
                                           LengthCase{"64 Chinese characters", times(gbk("短"), 64), true},
                                           LengthCase{"65 Chinese characters", times(gbk("短"), 65), false},
                                           LengthCase{"62 letters and a line break", times("a", 62) + "\r\n", true},
                                           LengthCase{"63 letters and a line break", times("a", 63) + "\r\n", false}),
                         CaseName());

TEST_F(CatalogueEditor, ListShowsEveryEntryAfterTheMarkerWithLineNumbers) {
    ASSERT_EQ(catalogue_add("11", "a"), "");
    ASSERT_EQ(catalogue_add(gbk("天气"), gbk("晴")), "");
    ASSERT_EQ(catalogue_add("a-very-long-query-code-of-30-b", "long"), "");
    auto rows = listed();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].number, 1);
    EXPECT_EQ(rows[0].code, "11");
    EXPECT_EQ(rows[0].text, "a");
    EXPECT_EQ(rows[1].code, gbk("天气"));
    EXPECT_EQ(rows[1].text, gbk("晴"));
    // Codes are listed whole, however long.
    EXPECT_EQ(rows[2].code, "a-very-long-query-code-of-30-b");
}

TEST_F(CatalogueEditor, ListCountsBlankLinesAndHidesTheFirstEntryOfAMarkerlessFile) {
    put_file(catalogue, "[query]\r\n11=first\r\n\r\n12=second\r\n13=third\r\n");
    auto rows = listed();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].number, 2);
    EXPECT_EQ(rows[0].code, "12");
    EXPECT_EQ(rows[0].text, "second");
    EXPECT_EQ(rows[1].number, 3);
    // The hidden code is still there for the look-up.
    EXPECT_EQ(catalogue_look_up("11").text, "first");
}

TEST_F(CatalogueEditor, ListValueComesFromTheKeyNotFromTheLine) {
    put_file(catalogue, "[query]\r\n000000=1\r\n11=first\r\n11=shadowed\r\nnoequals\r\n");
    auto rows = listed();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].text, "first");
    EXPECT_EQ(rows[2].code, "noequals\n");
    EXPECT_EQ(rows[2].text, "happy today to you!");
}

TEST_F(CatalogueEditor, ListOfMissingFileIsEmptyAndStopsWhenAsked) {
    EXPECT_TRUE(listed().empty());
    ASSERT_EQ(catalogue_add("11", "a"), "");
    ASSERT_EQ(catalogue_add("12", "b"), "");
    int seen = 0;
    catalogue_list([&](const CatalogueRow&) { return ++seen < 1; });
    EXPECT_EQ(seen, 1);
}

} // namespace
