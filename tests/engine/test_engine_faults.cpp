#include "engine/incoming/inbox_pass.h"
#include "engine/outgoing/send_pass.h"
#include "modem/pdu/pdu_codec.h"
#include "modem/pdu/pdu_peer.h"
#include "platform/gbk.h"
#include "store/catalogue_files.h"
#include "store/send_position.h"
#include "store/spool.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

// A pacer in virtual time that can change the world during one of its waits: `during_wait(n)` runs
// at the n-th wait (from 1), as a disk that gets room again or a modem plugged back in would.
class ScriptedPacer : public Pacer {
public:
    explicit ScriptedPacer(VirtualClock& clock) : clock_(clock) {}
    void checkpoint() override {}
    void sleep(int ms) override {
        clock_.sleep_ms(ms);
        ++waits_;
        if (hook_ && waits_ == hook_at_) {
            hook_();
        }
    }
    void during_wait(int n, std::function<void()> hook) {
        hook_at_ = waits_ + n;
        hook_ = std::move(hook);
    }

private:
    VirtualClock& clock_;
    int waits_ = 0;
    int hook_at_ = 0;
    std::function<void()> hook_;
};

class EngineFaults : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        port.standing(accepting_modem());
    }
    // An engine context over the same modem and files whose waits are `paced`.
    EngineContext context_with(Pacer& paced) {
        return EngineContext{link, clock, paced, options, output, logs, ctx.state};
    }
};

std::string deliver(const std::string& sender, const std::string& text, SenderForm form = SenderForm::National) {
    return deliver_pdu(sender, text, true, form);
}

// --- The processed counter cannot be written ------------------------------------------------------------

TEST_F(EngineFaults, UnwritableProcessedCounterStopsTheEngineUntilItIsWritten) {
    queue("13900000001", "a");
    queue("13900000002", "b");
    // A directory where the counter should be: every replacement of it fails, for root too.
    std::filesystem::create_directories(day + "/send/acc/blocked");
    ScriptedPacer paced(clock);
    EngineContext faulty = context_with(paced);
    // Record 1 goes out (two waits); its counter fails; during the third retry wait the disk is fixed.
    paced.during_wait(5, [&] { std::filesystem::remove_all(day + "/send/acc"); });
    clock.clear_sleeps();
    run_send_pass(faulty, 0, 2);

    EXPECT_EQ(destinations(), (std::vector<std::string>{"8613900000001", "8613900000002"}))
        << "record 1 went out once, and record 2 only after its counter was written";
    EXPECT_EQ(file_bytes(day + "/send/acc"), "2");
    std::vector<int> sleeps = clock.sleeps();
    // Record 1 (250, 3000, 3560), then the write retried after 1 s, 2 s, 4 s, then record 2.
    ASSERT_GE(sleeps.size(), 9u);
    EXPECT_EQ(std::vector<int>(sleeps.begin() + 3, sleeps.begin() + 6), (std::vector<int>{1000, 2000, 4000}));
    std::vector<std::string> lines = output.prepended();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1].substr(0, gbk("无法写入 2004-5-6/send/acc（").size()), gbk("无法写入 2004-5-6/send/acc（"));
    EXPECT_EQ(lines[2], gbk("已写入 2004-5-6/send/acc，继续发送。\r\n"));
    EXPECT_NE(trace_text().find("cannot write 2004-5-6/send/acc"), std::string::npos);
    EXPECT_EQ(output.caption(), gbk("Velmora短信网关--企业短消息服务器  ：   收发进程已启动"));
}

// --- The position inside a record survives a restart ----------------------------------------------------

TEST_F(EngineFaults, PositionIsStoredAfterEveryRecipient) {
    queue("13900000001\n13566668888-13566668889\n13900000002", "x");
    process_record(ctx, 1);
    EXPECT_EQ(file_bytes(day + "/send/pos"), "1 4");
    EXPECT_EQ(file_bytes(day + "/send/acc"), "1");
}

struct RestartCase {
    const char* name;
    const char* stored; // the position file before the restart; nullptr: none
    std::vector<std::string> sent;
    std::vector<std::string> success_keys; // "record.index" of the lines written after the restart
};

class EngineRestart : public EngineFaults, public ::testing::WithParamInterface<RestartCase> {};

TEST_P(EngineRestart, GoesOnAfterTheRecipientsAlreadyDone) {
    queue("13900000001\n13566668888-13566668890\n13900000002", "x");
    if (GetParam().stored) {
        put_file(day + "/send/pos", GetParam().stored);
    }
    run_send_pass(ctx, 0, 1);
    EXPECT_EQ(destinations(), GetParam().sent);
    std::vector<std::string> keys;
    std::string text = report("SUCC");
    for (std::size_t at = 0; at < text.size(); at = text.find("\r\r\n", at) + 3) {
        keys.push_back(text.substr(at, text.find(',', at) - at));
    }
    EXPECT_EQ(keys, GetParam().success_keys);
    EXPECT_EQ(file_bytes(day + "/send/acc"), "1");
}

const RestartCase restarts[] = {
    {"no_position",
     nullptr,
     {"8613900000001", "8613566668888", "8613566668889", "8613566668890", "8613900000002"},
     {"1.0", "1.2", "1.3", "1.4", "1.4"}},
    {"after_the_first",
     "1 1",
     {"8613566668888", "8613566668889", "8613566668890", "8613900000002"},
     {"1.2", "1.3", "1.4", "1.4"}},
    {"inside_the_range", "1 3", {"8613566668890", "8613900000002"}, {"1.4", "1.4"}},
    {"all_done", "1 5", {}, {}},
    {"position_of_another_record",
     "2 3",
     {"8613900000001", "8613566668888", "8613566668889", "8613566668890", "8613900000002"},
     {"1.0", "1.2", "1.3", "1.4", "1.4"}},
    {"unreadable_position",
     "garbage",
     {"8613900000001", "8613566668888", "8613566668889", "8613566668890", "8613900000002"},
     {"1.0", "1.2", "1.3", "1.4", "1.4"}},
};

INSTANTIATE_TEST_SUITE_P(Table, EngineRestart, ::testing::ValuesIn(restarts),
                         [](const auto& info) { return std::string(info.param.name); });

// --- The modem's listing ----------------------------------------------------------------------------------

TEST_F(EngineFaults, EndlessListingIsCutAtTheLimitAndTheModemReopened) {
    options.max_listing_bytes = 2048;
    std::string stream;
    for (int i = 0; stream.size() < 100000; ++i) {
        stream += "+CMGL: " + std::to_string(i) + ",0,,20\r\n" + deliver("13900000001", "x") + "\r\n";
    }
    port.push_input(stream); // a modem streaming lines that never end in OK
    run_inbox_pass(ctx);

    EXPECT_EQ(opens, 1) << "the port was closed and opened again";
    EXPECT_FALSE(exists(day + "/recv/acc"));
    EXPECT_TRUE(deletes().empty());
    std::vector<int> sleeps = clock.sleeps();
    // Five full reads pass the limit (each after its 3100 ms wait), then the reopening after 1 s.
    EXPECT_EQ(std::vector<int>(sleeps.begin(), sleeps.begin() + 6),
              (std::vector<int>{3100, 3100, 3100, 3100, 3100, 1000}));
    EXPECT_NE(output.prepended().at(0).find(gbk("列表应答无止境")), std::string::npos);
}

TEST_F(EngineFaults, ListingPastItsTimeBoundIsCutBeforeTheByteBound) {
    options.max_listing_seconds = 9;
    std::string stream;
    for (int i = 0; stream.size() < 100000; ++i) {
        stream += "+CMGL: " + std::to_string(i) + ",0,,20\r\n" + deliver("13900000001", "x") + "\r\n";
    }
    port.push_input(stream); // full chunks at every read: within the byte bound for 64 reads
    run_inbox_pass(ctx);

    EXPECT_EQ(opens, 1) << "the port was closed and opened again";
    EXPECT_FALSE(exists(day + "/recv/acc"));
    std::vector<int> sleeps = clock.sleeps();
    // Three waits reach 9.3 s; then the reopening after 1 s.
    EXPECT_EQ(std::vector<int>(sleeps.begin(), sleeps.begin() + 4), (std::vector<int>{3100, 3100, 3100, 1000}));
    EXPECT_NE(trace_text().find("listing still coming after 9 s: modem taken as faulty"), std::string::npos);
}

TEST_F(EngineFaults, ModemThatAnswersNeitherListingNorResetIsReopened) {
    port.set_silent(true);
    run_inbox_pass(ctx);
    EXPECT_EQ(opens, 1);
    std::vector<PortWrite> writes = port.writes();
    ASSERT_GE(writes.size(), 4u);
    EXPECT_EQ(writes[0].bytes, "at+cmgl=4\r\n");
    EXPECT_EQ(writes[1].bytes, "at\r\n");
    EXPECT_EQ(writes[2].bytes, "\x1b"); // the reopened port: any half-typed submission cancelled
    EXPECT_EQ(writes[3].bytes, "AT+CMGF=0\r\n");
}

TEST_F(EngineFaults, DeleteThatGoesUnheardIsMadeAgainOnceTheModemIsBack) {
    port.standing({});
    port.script({
        {"at+cmgl=4", modem_listing({deliver("13900000001", "a")})}, // one message listed
        {"at+cmgd=1", ""},                                           // the delete goes unheard
        {"AT+CMGF=0", "AT+CMGF=0\r\r\nOK\r\n"},                      // back after reopening
        {"at+cmgd=1", "at+cmgd=1\r\r\nOK\r\n"},                      // deleted
    });
    run_inbox_pass(ctx);
    EXPECT_EQ(file_bytes(day + "/recv/acc"), "1") << "stored once";
    EXPECT_EQ(deletes(), (std::vector<std::string>{"at+cmgd=1\r\n", "at+cmgd=1\r\n"}));
    EXPECT_EQ(opens, 1);
}

// --- Replies go to one phone only -------------------------------------------------------------------------

struct SenderCase {
    const char* name;
    std::string sender;
    SenderForm form;
    const char* stored_sender;
    bool answered;
};

class ReplySender : public EngineFaults, public ::testing::WithParamInterface<SenderCase> {};

TEST_P(ReplySender, OnlyAPhoneNumberIsAnswered) {
    make_catalogue_dir();
    ASSERT_TRUE(catalogue_write("12", "price"));
    port.script({{"at+cmgl=4", modem_listing({deliver(GetParam().sender, "*12", GetParam().form)})}});
    run_inbox_pass(ctx);
    EXPECT_EQ(file_bytes(day + "/recv/R1"), GetParam().stored_sender) << "stored either way";
    EXPECT_EQ(exists(day + "/new/acc"), GetParam().answered);
    if (GetParam().answered) {
        EXPECT_EQ(file_bytes(day + "/new/R1"), GetParam().stored_sender);
    }
}

const SenderCase senders[] = {
    {"national", "13900000001", SenderForm::National, "13900000001", true},
    {"international_86", "8613900000001", SenderForm::International, "13900000001", true},
    {"foreign_twenty_digits", "49151234567890123456", SenderForm::International, "49151234567890123456", true},
    {"alphanumeric_range", "13900000000-13900000009", SenderForm::Alphanumeric, "13900000000", false},
    {"alphanumeric_list", "1;2;3", SenderForm::Alphanumeric, "1;2;3", false},
    {"alphanumeric_name", "BANK", SenderForm::Alphanumeric, "BANK", false},
};

INSTANTIATE_TEST_SUITE_P(Table, ReplySender, ::testing::ValuesIn(senders),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReceivedSender, AddressIsNeverLongerThanTheStandardAllows) {
    NullTrace trace;
    // A deliver PDU whose sender field claims 40 digits; the sender read is cut to 20.
    std::string pdu = "00"
                      "04"
                      "28"
                      "81" +
                      std::string(40, '1') +
                      "0000"
                      "42502130001500"
                      "01"
                      "61";
    ReceivedMessage message = decode_received_pdu(pdu, trace);
    EXPECT_EQ(message.sender, std::string(20, '1'));
}

} // namespace
