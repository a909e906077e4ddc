#include "engine/outgoing/send_pass.h"
#include "modem/pdu/pdu_peer.h"
#include "platform/gbk.h"
#include "store/number_range.h"
#include "store/spool.h"
#include "support/engine_fixture.h"
#include "support/hostile_input.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class SendPass : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        port.standing(accepting_modem());
    }
    // "record.index" of every success line.
    std::vector<std::string> success_keys() const {
        std::vector<std::string> keys;
        std::string text = report("SUCC");
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find("\r\r\n", start);
            keys.push_back(text.substr(start, text.find(',', start) - start));
            start = end + 3;
        }
        return keys;
    }
};

TEST_F(SendPass, RecordGoesToEveryRecipientInOrderWithItsIndices) {
    queue("13900000001\r\n 139 0000 0002 \r\n13566668888-13566668890\n13900000003", gbk("你好"));
    run_send_pass(ctx, 0, 1);
    EXPECT_EQ(destinations(), (std::vector<std::string>{"8613900000001", "8613900000002", "8613566668888",
                                                        "8613566668889", "8613566668890", "8613900000003"}));
    // A single recipient takes the index and then counts on; a range counts on before each number.
    EXPECT_EQ(success_keys(), (std::vector<std::string>{"1.0", "1.1", "1.3", "1.4", "1.5", "1.5"}));
    EXPECT_EQ(file_bytes(day + "/send/acc"), "1");
}

TEST_F(SendPass, BarredRecordSendsNothingYetCountsAsProcessed) {
    queue("139", "a");
    queue("*13900000001\n13900000002", "b");
    queue("13900000003", "c");
    run_send_pass(ctx, 0, 3);
    EXPECT_EQ(destinations(), (std::vector<std::string>{"86139", "8613900000003"}));
    EXPECT_EQ(file_bytes(day + "/send/acc"), "3");
}

TEST_F(SendPass, BarLineStopsTheFileFromThere) {
    queue("13900000001\n*13900000002\n13900000003", "x");
    run_send_pass(ctx, 0, 1);
    EXPECT_EQ(destinations(), std::vector<std::string>{"8613900000001"});
}

TEST_F(SendPass, EmptyLinesAreNotSubmitted) {
    queue("13900000001\r\n\r\n13900000002\r\n", "x");
    run_send_pass(ctx, 0, 1);
    EXPECT_EQ(destinations(), (std::vector<std::string>{"8613900000001", "8613900000002"}));
    EXPECT_EQ(success_keys(), (std::vector<std::string>{"1.0", "1.1"}));
}

TEST_F(SendPass, OnlyTheFirstContentLineIsSentAndEnglishDropsItsKindByte) {
    queue("13900000001", "\x02hi   \r\nsecond line");
    run_send_pass(ctx, 0, 1);
    auto decoded = decode_submit_pdu(sent_pdus().at(0));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->text, "hi   ");
    EXPECT_NE(report("SUCC").find("    \x02hi   \r\r\n"), std::string::npos);
}

TEST_F(SendPass, OverLongContentIsCutToOneMessage) {
    std::string text;
    for (int i = 0; i < 80; ++i) {
        text += gbk("你");
    }
    queue("13900000001", text);
    run_send_pass(ctx, 0, 1);
    const std::string pdu = sent_pdus().at(0);
    // 70 UCS-2 units: the 140 octets one message holds, so the length octet says 8C.
    EXPECT_EQ(pdu.size(), std::string("0011000D91683109000000F1000830").size() + 2 + 280);
    EXPECT_EQ(pdu.substr(30, 2), "8C");
}

TEST_F(SendPass, ProcessedAboveQueuedIsSetBack) {
    queue("13900000001", "x");
    run_send_pass(ctx, 5, 1);
    EXPECT_TRUE(sent_pdus().empty());
    EXPECT_EQ(file_bytes(day + "/send/acc"), "1");
}

TEST_F(SendPass, RecordWithMissingFilesIsSkippedAsProcessed) {
    queue("13900000001", "x");
    queue("13900000002", "y");
    std::filesystem::remove(day + "/new/DA1");
    run_send_pass(ctx, 0, 2);
    EXPECT_EQ(destinations(), std::vector<std::string>{"8613900000002"});
    EXPECT_EQ(file_bytes(day + "/send/acc"), "2");
    EXPECT_NE(trace_text().find("record 1 incomplete"), std::string::npos);
}

TEST_F(SendPass, ProcessedCounterFollowsEachRecord) {
    queue("13900000001", "x");
    queue("13900000002", "y");
    process_record(ctx, 1);
    EXPECT_EQ(file_bytes(day + "/send/acc"), "1");
}

struct RangeCase {
    const char* name;
    const char* line;
    bool valid;
    std::uint64_t size;
};

class NumberRangeParse : public ::testing::TestWithParam<RangeCase> {};

TEST_P(NumberRangeParse, AcceptsOnlyRangesItCanSendExactly) {
    auto range = parse_number_range(GetParam().line);
    ASSERT_EQ(range.has_value(), GetParam().valid);
    if (range) {
        EXPECT_EQ(range->size(), GetParam().size);
    }
}

const RangeCase ranges[] = {
    {"three_numbers", "13566668888-13566668890", true, 3},
    {"one_number", "13566668888-13566668888", true, 1},
    {"semicolon_removed", "13566668888-13566668890;", true, 3},
    {"top_of_32_bits", "14294967294-14294967295", true, 2},
    {"beyond_32_bits", "14294967295-14294967296", false, 0},
    {"upper_below_lower", "13566668890-13566668888", false, 0},
    {"short_upper_end", "13566668888-1356666", false, 0},
    {"letters", "1356666888a-13566668890", false, 0},
    {"other_first_digit", "13566668888-23566668890", false, 0},
    {"a_million", "13500000000-13500999999", true, 1000000},
};

INSTANTIATE_TEST_SUITE_P(Table, NumberRangeParse, ::testing::ValuesIn(ranges),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SendPass, RangeAtTheTopOfThirtyTwoBitsEnds) {
    queue("14294967294-14294967295", "x");
    run_send_pass(ctx, 0, 1);
    EXPECT_EQ(destinations(), (std::vector<std::string>{"8614294967294", "8614294967295"}));
}

TEST_F(SendPass, BadRangeIsReportedAndNothingIsSent) {
    queue("13566668890-13566668888\n13900000001", "x");
    run_send_pass(ctx, 0, 1);
    EXPECT_EQ(destinations(), std::vector<std::string>{"8613900000001"});
    EXPECT_NE(report("FAIL").find("1.0,"), std::string::npos);
    EXPECT_NE(report("FAIL").find("13566668890-13566668888"), std::string::npos);
}

TEST_F(SendPass, LineWithDashElsewhereIsOneRecipientAndNoNumber) {
    queue("139-0000\n13900000001", "x");
    run_send_pass(ctx, 0, 1);
    // One recipient that names no number: a failure line at index 0 and no modem traffic for it.
    EXPECT_EQ(destinations(), std::vector<std::string>{"8613900000001"});
    EXPECT_EQ(report("FAIL").substr(0, 4), "1.0,");
    EXPECT_NE(report("FAIL").find("139-0000"), std::string::npos);
    EXPECT_EQ(success_keys(), std::vector<std::string>{"1.1"});
}

// Records that reached the spool before the writers checked them, or were put there by hand: every
// hostile customer token gets its failure line, and the engine goes on to the next recipient and
// record. A FIFO or a device behind a token once held the engine for good or ended it.
class PoisonedRecord : public SendPass, public ::testing::WithParamInterface<HostileCase> {
protected:
    void SetUp() override {
        SendPass::SetUp();
        make_hostile_directory();
    }
};

TEST_P(PoisonedRecord, GetsAFailureLineAndTheEngineGoesOn) {
    queue(hostile_box(GetParam().to) + "\r\n13900000001", "x");
    queue("13900000002", "y");
    run_send_pass(ctx, 0, 2);
    EXPECT_EQ(destinations(), (std::vector<std::string>{"8613900000001", "8613900000002"}));
    EXPECT_EQ(report("FAIL").substr(0, 4), "1.0,") << report("FAIL");
    EXPECT_EQ(file_bytes(day + "/send/acc"), "2");
}

std::vector<HostileCase> hostile_tokens() {
    std::vector<HostileCase> tokens;
    for (const HostileCase& c : hostile_table().refused) {
        if (c.to.size() == 1 && c.to[0].find('\x02') != std::string::npos) {
            tokens.push_back(c);
        }
    }
    return tokens;
}

INSTANTIATE_TEST_SUITE_P(Table, PoisonedRecord, ::testing::ValuesIn(hostile_tokens()),
                         [](const auto& info) { return info.param.name; });

// A record file that is no regular file is a record whose files are missing: skipped, not waited on.
TEST_F(SendPass, RecordFileThatIsAFifoOrADeviceIsSkipped) {
    queue("13900000001", "a");
    queue("13900000002", "b");
    queue("13900000003", "c");
    ASSERT_EQ(::unlink((day + "/new/R1").c_str()), 0);
    ASSERT_EQ(::mkfifo((day + "/new/R1").c_str(), 0600), 0);
    ASSERT_EQ(::unlink((day + "/new/DA2").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/zero", (day + "/new/DA2").c_str()), 0);
    run_send_pass(ctx, 0, 3);
    EXPECT_EQ(destinations(), std::vector<std::string>{"8613900000003"});
    EXPECT_EQ(file_bytes(day + "/send/acc"), "3");
}

} // namespace
