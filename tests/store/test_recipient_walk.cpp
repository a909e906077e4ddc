#include "store/recipient_walk.h"
#include "support/param_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every step of a walk as one line: "L:<line>", "R:<line>" (a range line), "<index>=<recipient>"
// ("+" after the index for a range member), "bad<index>=<line>".
class RecordingVisitor : public RecipientWalkVisitor {
public:
    explicit RecordingVisitor(std::size_t stop_after = SIZE_MAX) : stop_after_(stop_after) {}

    void line(const std::string& prepared) override { steps.push_back("L:" + prepared); }
    void range_line(const std::string& prepared) override { steps.push_back("R:" + prepared); }
    bool recipient(long index, const std::string& recipient, bool range_member) override {
        steps.push_back(std::to_string(index) + (range_member ? "+" : "") + "=" + recipient);
        return ++taken_ < stop_after_;
    }
    bool bad_range(long index, const std::string& prepared) override {
        steps.push_back("bad" + std::to_string(index) + "=" + prepared);
        return ++taken_ < stop_after_;
    }

    std::vector<std::string> steps;

private:
    std::size_t stop_after_;
    std::size_t taken_ = 0;
};

struct WalkCase {
    const char* name;
    std::string stored;
    std::vector<std::string> steps;
    WalkEnd end;
};

void PrintTo(const WalkCase& c, std::ostream* os) {
    *os << c.name;
}

class Walk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(Walk, StepsAndIndicesAreTheEngines) {
    RecordingVisitor visitor;
    EXPECT_EQ(walk_recipient_file(GetParam().stored, visitor), GetParam().end);
    EXPECT_EQ(visitor.steps, GetParam().steps);
}

const WalkCase walks[] = {
    {"one_number", "13900000001", {"L:13900000001", "0=13900000001"}, WalkEnd::Finished},
    {"blanks_removed_and_line_end_cut",
     "139 0000 0001\r\n13900000002\r",
     {"L:13900000001", "0=13900000001", "L:13900000002", "1=13900000002"},
     WalkEnd::Finished},
    {"empty_lines_seen_but_name_nobody",
     "\r\n  \r\n13900000001",
     {"L:", "L:", "L:13900000001", "0=13900000001"},
     WalkEnd::Finished},
    {"star_bars_the_rest",
     "13900000001\r\n*13900000002\r\n13900000003",
     {"L:13900000001", "0=13900000001"},
     WalkEnd::Barred},
    {"star_after_blank_is_no_bar", " *1\r\n", {"L:*1", "0=*1", "L:"}, WalkEnd::Finished},
    {"range_members_move_the_index_first",
     "13900000001\r\n13900000005-13900000006\r\n13900000009",
     {"L:13900000001", "0=13900000001", "L:13900000005-13900000006", "R:13900000005-13900000006",
      "2+=13900000005", "3+=13900000006", "L:13900000009", "3=13900000009"},
     WalkEnd::Finished},
    {"bad_range_takes_the_index_and_moves_nothing",
     "13900000009-13900000001\r\n13900000002",
     {"L:13900000009-13900000001", "R:13900000009-13900000001", "bad0=13900000009-13900000001", "L:13900000002",
      "0=13900000002"},
     WalkEnd::Finished},
    {"customer_token_is_a_recipient_as_written",
     "vip\x02Li\r\n",
     {"L:vip\x02Li", "0=vip\x02Li", "L:"},
     WalkEnd::Finished},
};

INSTANTIATE_TEST_SUITE_P(RecipientFile, Walk, ::testing::ValuesIn(walks), CaseName());

TEST(Walk, VisitorEndsItInsideARange) {
    RecordingVisitor visitor(2);
    EXPECT_EQ(walk_recipient_file("13900000001-13900000009\n13900000010", visitor), WalkEnd::Stopped);
    EXPECT_EQ(visitor.steps, (std::vector<std::string>{"L:13900000001-13900000009", "R:13900000001-13900000009",
                                                       "1+=13900000001", "2+=13900000002"}));
}

} // namespace
