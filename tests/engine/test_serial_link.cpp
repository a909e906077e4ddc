#include "modem/serial_link.h"
#include "support/fake_serial_port.h"
#include "support/virtual_clock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One fixed exchange as the engine makes them: write, sleep for the modem to answer, read one chunk.
std::string port_exchange(SerialPort& port, Clock& clock, std::string_view command, int wait_ms) {
    port_write(port, command);
    clock.sleep_ms(wait_ms);
    return port_read_chunk(port);
}

using ::testing::ElementsAre;

// A modem answer of `n` bytes with no zero byte in it, ending in a visible "OK".
std::string answer_of(std::size_t n) {
    std::string text(n, 'x');
    if (n >= 2) {
        text.replace(n - 2, 2, "OK");
    }
    return text;
}

class SerialLinkTest : public ::testing::Test {
protected:
    VirtualClock clock;
    FakeSerialPort port{&clock};
};

TEST_F(SerialLinkTest, ExchangeWritesThenWaitsThenReadsOneChunk) {
    port.script({
        {"AT+CMGF=0\r\n", "AT+CMGF=0\r\r\nOK\r\n"}, // echo, then PDU mode taken
    });

    std::string answer = port_exchange(port, clock, "AT+CMGF=0\r\n", 2500);

    EXPECT_EQ(answer, "AT+CMGF=0\r\r\nOK\r\n");
    ASSERT_EQ(port.writes().size(), 1u);
    EXPECT_EQ(port.writes()[0].bytes, "AT+CMGF=0\r\n");
    EXPECT_EQ(port.writes()[0].at_ms, 0); // written before the wait
    // The wait, then the one read: a short answer waits out the whole 512-byte time-out.
    EXPECT_THAT(clock.sleeps(), ElementsAre(2500, 3560));
    EXPECT_EQ(port.reads(), 1);
    EXPECT_TRUE(port.unmatched().empty());
}

TEST_F(SerialLinkTest, ExchangeWithSilentModemReturnsNothingAfterTheTimeOut) {
    port.set_silent(true);
    port.script({
        {"at\r\n", "at\r\r\nOK\r\n"}, // would answer, but the modem has gone quiet
    });

    EXPECT_EQ(port_exchange(port, clock, "at\r\n", 1900), "");
    EXPECT_THAT(clock.sleeps(), ElementsAre(1900, 3560));
    EXPECT_EQ(port.written(), "at\r\n");
}

TEST_F(SerialLinkTest, ChunkTextEndsAtTheFirstZeroByte) {
    port.push_input(std::string("+CMS ERROR: 500\r\n\0\r\nOK\r\n", 24)); // garbage after a zero byte

    std::string chunk = port_read_chunk(port);

    EXPECT_EQ(chunk, "+CMS ERROR: 500\r\n");
    EXPECT_FALSE(reply_has_ok(chunk)); // the "OK" behind the zero byte is never seen
    EXPECT_EQ(port.queued(), 0u);      // the whole answer was read all the same
}

TEST_F(SerialLinkTest, ChunkIsClearedBeforeEachRead) {
    port.push_input(answer_of(512));
    port_read_chunk(port);
    port.push_input("AB");

    // Nothing of the previous, longer chunk may show behind a shorter one.
    EXPECT_EQ(port_read_chunk(port), "AB");
}

struct CollectCase {
    const char* name;
    std::size_t answer_size;
    std::size_t capacity;
    int reads;        // chunks read before one came back short
    std::size_t kept; // bytes stored
};

class CollectTest : public ::testing::TestWithParam<CollectCase> {};

TEST_P(CollectTest, ReadsWhileChunksComeBackFullAndKeepsAtMostTheCapacity) {
    const CollectCase& c = GetParam();
    VirtualClock clock;
    FakeSerialPort port{&clock};
    std::string answer = answer_of(c.answer_size);
    port.push_input(answer);

    std::string collected = port_collect(port, c.capacity);

    EXPECT_EQ(port.reads(), c.reads);
    EXPECT_EQ(collected, answer.substr(0, c.kept));
    EXPECT_EQ(port.queued(), 0u); // the excess is read off the line, not left for the next exchange
    // Only the last, short chunk waits for its time-out.
    EXPECT_THAT(clock.sleeps(), ElementsAre(3560));
}

INSTANTIATE_TEST_SUITE_P(Answers, CollectTest,
                         ::testing::Values(CollectCase{"nothing", 0, submission_capacity, 1, 0},
                                           CollectCase{"one_byte_short_of_a_chunk", 511, submission_capacity, 1, 511},
                                           CollectCase{"exactly_one_chunk_reads_once_more", 512, submission_capacity, 2,
                                                       512},
                                           CollectCase{"two_full_chunks", 1024, submission_capacity, 3, 1024},
                                           CollectCase{"two_chunks_and_a_part", 1300, submission_capacity, 3, 1300},
                                           CollectCase{"at_the_capacity", 10240, submission_capacity, 21, 10240},
                                           CollectCase{"beyond_the_capacity", 11000, submission_capacity, 22, 10240},
                                           CollectCase{"capacity_inside_a_chunk", 1300, 600, 3, 600}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialLinkTest, CollectStopsAtAChunkShortenedByAZeroByte) {
    std::string answer = answer_of(512) + std::string(100, 'y') + '\0' + std::string(411, 'z') + "tail";
    port.push_input(answer);

    std::string collected = port_collect(port, submission_capacity);

    EXPECT_EQ(collected, answer_of(512) + std::string(100, 'y'));
    EXPECT_EQ(port.reads(), 2);
    EXPECT_EQ(port.queued(), 4u); // the chunk after the zero byte was never asked for
}

TEST_F(SerialLinkTest, PrepareDropsAnswersLeftOnTheLine) {
    port.push_input("\r\nRING\r\n");
    port.script({
        {"at\r\n", "\r\nOK\r\n"}, // fresh answer
    });

    port_prepare(port);

    EXPECT_EQ(port_exchange(port, clock, "at\r\n", 0), "\r\nOK\r\n");
}

TEST_F(SerialLinkTest, ConfigureAndCloseReachThePort) {
    port.set_accepts_configure(false);

    EXPECT_FALSE(port_configure(port, 19200));
    port_close(port);

    EXPECT_THAT(port.configured(), ElementsAre(19200u));
    EXPECT_TRUE(port.closed());
}

TEST(SerialLinkOpen, MissingDeviceGivesTheInvalidHandle) {
    EXPECT_EQ(port_open("/dev/vmsms-no-such-device"), nullptr);
}

struct JudgementCase {
    const char* name;
    std::string answer;
    bool has_ok;
    bool says_sent;
};

class JudgementTest : public ::testing::TestWithParam<JudgementCase> {};

TEST_P(JudgementTest, JudgesTheAnswer) {
    const JudgementCase& c = GetParam();
    EXPECT_EQ(reply_has_ok(c.answer), c.has_ok);
    EXPECT_EQ(reply_says_sent(c.answer), c.says_sent);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, JudgementTest,
    ::testing::Values(JudgementCase{"sent", "at+cmgs=23\r\r\n> 0011000B91\x1a\r\n+CMGS: 12\r\n\r\nOK\r\n", true, true},
                      JudgementCase{"bare_ok", "OK", true, true},
                      JudgementCase{"ok_with_blanks_around", "\r\n  OK \t\r\n", true, true},
                      JudgementCase{"empty", "", false, false},
                      JudgementCase{"refused", "\r\n+CMS ERROR: 500\r\n", false, false},
                      JudgementCase{"plain_error", "\r\nERROR\r\n", false, false},
                      JudgementCase{"equipment_error", "\r\n+CME ERROR: 10\r\n", false, false},
                      JudgementCase{"left_over_ok_before_refusal", "\r\nOK\r\n\r\n+CMS ERROR: 304\r\n", true, false},
                      JudgementCase{"ok_inside_a_word", "\r\nTOKEN\r\n", true, false},
                      JudgementCase{"lower_case_ok", "\r\nok\r\n", false, false},
                      JudgementCase{"ok_not_alone_on_its_line", "+CMGS: 3 OK\r\n", true, false},
                      JudgementCase{"prompt_only", "\r\n> ", false, false},
                      JudgementCase{"error_in_echo_is_no_result", "at+cmgs=ERROR\r\r\nOK\r\n", true, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
