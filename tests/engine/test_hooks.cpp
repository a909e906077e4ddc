// Where the engine runs the operator's programs: after which report line, how often, with what message.
// The engine runs in virtual time; the hooks are real processes (a shell script that notes each run).
#include "engine/events/hook_feed.h"
#include "engine/incoming/inbox_pass.h"
#include "engine/outgoing/submission.h"
#include "engine/report/event_hooks.h"
#include "modem/pdu/pdu_concat.h"
#include "platform/gbk.h"
#include "store/journal_cursor.h"
#include "support/engine_fixture.h"
#include "support/memory_trace.h"
#include "support/virtual_clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Notes one run per line: the event, number, record.index, parts, whether the event's report line was
// already in its log when the program started, and the text.
const char* const note_script = R"(#!/bin/sh
case "$VMSMS_EVENT" in SENT) log=SUCC ;; FAILED) log=FAIL ;; RECEIVED) log=RECV ;; esac
if grep -q -- "$VMSMS_NUMBER" log/$log$VMSMS_DAY.log 2>/dev/null; then logged=logged; else logged=unlogged; fi
printf '%s %s %s.%s parts=%s %s %s\n' "$VMSMS_EVENT" "$VMSMS_NUMBER" "$VMSMS_RECORD" "$VMSMS_INDEX" \
  "$VMSMS_PARTS" "$logged" "$VMSMS_TEXT" >> runs.txt
)";

template <typename Test> bool eventually(Test test, std::chrono::milliseconds limit = 10s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (test()) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return test();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    std::sort(out.begin(), out.end()); // hooks run side by side: their notes come in any order
    return out;
}

class EngineHooks : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        put_file("note.sh", note_script);
        std::filesystem::permissions("note.sh", std::filesystem::perms::owner_all);
        HookSettings settings;
        for (HookEvent event : {HookEvent::Received, HookEvent::Sent, HookEvent::Failed}) {
            settings.commands[event] = {dir() + "/note.sh"};
        }
        events = std::make_unique<EngineEvents>(clock, logs);
        hooks = std::make_unique<HookRunner>(std::move(settings), logs);
        feed = std::make_unique<HookFeed>(*hooks, *events, logs);
        ctx.events = events.get();
    }
    void TearDown() override {
        feed.reset();
        hooks.reset();
        events.reset();
        EngineFixture::TearDown();
    }
    // The notes of the hooks run so far, once every event journaled was handed over and none is running
    // any more.
    std::vector<std::string> runs() {
        EXPECT_TRUE(eventually([&] {
            std::optional<JournalCursor> cursor = read_journal_cursor(journal_dir, "hooks");
            return cursor && cursor->seq == events->last_seq() && hooks->running() == 0;
        })) << trace_text();
        return lines_of(file_bytes("runs.txt"));
    }
    // A Chinese record's content as the send pass sets it, in as many parts as it takes.
    std::vector<UserData> chinese(const std::string& utf8, bool long_messages) {
        options.long_messages = long_messages;
        ctx.state.content.kind = 0;
        ctx.state.content.plain = gbk(utf8);
        return split_user_data(encode_ucs2(gbk(utf8)), false, 0).parts;
    }

    std::unique_ptr<EngineEvents> events;
    std::unique_ptr<HookRunner> hooks;
    std::unique_ptr<HookFeed> feed;
};

std::string repeat(const std::string& utf8, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += utf8;
    }
    return out;
}

// One part of a long UCS-2 message from a national sender, as a modem lists it: SMS-DELIVER with the
// header indicator, and a concatenation header before the text.
std::string part_pdu(const std::string& sender, int reference, int count, int sequence, const std::string& utf8) {
    auto hex2 = [](int v) {
        char text[3];
        std::snprintf(text, sizeof text, "%02X", v & 0xFF);
        return std::string(text);
    };
    std::string digits = sender + (sender.size() % 2 ? "F" : "");
    std::string swapped;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        swapped += std::string{digits[i + 1], digits[i]};
    }
    std::string header = "050003" + hex2(reference) + hex2(count) + hex2(sequence);
    std::string text = encode_ucs2(gbk(utf8));
    return "0044" + hex2(static_cast<int>(sender.size())) + "81" + swapped + "0008" + "40506070105023" +
           hex2(static_cast<int>((header.size() + text.size()) / 2)) + header + text;
}

struct SendCase {
    const char* name;
    std::string recipient;
    int characters; // 150 Chinese characters make three parts
    bool retry;
    std::vector<ModemReply> script; // answers before the standing accepting modem
    bool refuse_all;
    std::string run; // the one note expected, without the text
};

const ModemReply prompt{"at+cmgs=", "\r\n> "};
const ModemReply taken{"00", "\r\n+CMGS: 1\r\n\r\nOK\r\n"};
const ModemReply refused{"00", "\r\n+CMS ERROR: 500\r\n"};

class EngineHooksOnSending : public EngineHooks, public ::testing::WithParamInterface<SendCase> {};

TEST_P(EngineHooksOnSending, OneRunPerRecipientAfterItsReportLine) {
    const SendCase& c = GetParam();
    options.retry = c.retry;
    port.script(c.script);
    port.standing(c.refuse_all ? std::vector<ModemReply>{prompt, refused} : accepting_modem());
    std::string text = repeat("好", c.characters);
    std::vector<UserData> parts = chinese(text, c.characters > 70);
    submit_to_recipient(ctx, c.recipient, parts, 3, 1);
    EXPECT_EQ(runs(), std::vector<std::string>{c.run + " " + text}) << trace_text();
}

const SendCase send_cases[] = {
    {"sent", "13900000001", 2, false, {}, false, "SENT 13900000001 3.1 parts=1 logged"},
    {"failed_after_six_attempts", "13900000001", 2, true, {}, true, "FAILED 13900000001 3.1 parts=1 logged"},
    {"long_sent_once", "13900000001", 150, false, {}, false, "SENT 13900000001 3.1 parts=3 logged"},
    {"long_failed_at_a_part",
     "13900000001",
     150,
     false,
     {prompt, taken, prompt, refused},
     false,
     "FAILED 13900000001 3.1 parts=3 logged"},
    {"not_a_phone_number", "13900000001234", 2, false, {}, false, "FAILED 13900000001234 3.1 parts=1 logged"},
};

INSTANTIATE_TEST_SUITE_P(Table, EngineHooksOnSending, ::testing::ValuesIn(send_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineHooks, AnEnglishRecordGoesWithoutItsKindByteAndTrailingBlanks) {
    port.standing(accepting_modem());
    ctx.state.content.kind = 2;
    ctx.state.content.plain = "\x02hello   ";
    Encoded7bit packed = encode_7bit("hello   ");
    submit_to_recipient(ctx, "13900000001", UserData{packed.hex, packed.septets}, 5, 0);
    EXPECT_EQ(runs(), std::vector<std::string>{"SENT 13900000001 5.0 parts=1 logged hello"});
}

TEST_F(EngineHooks, AReceivedMessageRunsItsProgramOnceStoredAndALongOneOnlyWhenWhole) {
    options.long_messages = true;
    port.standing({{"at+cmgd=", "\r\nOK\r\n"}});
    port.script({{"at+cmgl=4", modem_listing({deliver_pdu("13900000001", "hello")})}});
    run_inbox_pass(ctx);
    EXPECT_EQ(runs(), std::vector<std::string>{"RECEIVED 13900000001 1.0 parts=1 logged hello"});

    // Two parts of one long message, the second in a later listing.
    std::vector<std::string> pdus = {part_pdu("13900000002", 9, 2, 1, repeat("长", 40)),
                                     part_pdu("13900000002", 9, 2, 2, repeat("长", 40))};
    port.script({{"at+cmgl=4", modem_listing({pdus[0]})}});
    run_inbox_pass(ctx);
    EXPECT_EQ(runs().size(), 1u) << "a part alone ran the hook";
    port.script({{"at+cmgl=4", modem_listing({pdus[1]})}});
    run_inbox_pass(ctx);
    EXPECT_EQ(runs(), (std::vector<std::string>{"RECEIVED 13900000001 1.0 parts=1 logged hello",
                                                "RECEIVED 13900000002 2.0 parts=2 logged " + repeat("长", 80)}));
}

class HookRunnerLimit : public TempDirTest {};

TEST_F(HookRunnerLimit, TheSeventeenthWaitsForOneOfSixteenToEndAndTheEndStopsThemAll) {
    std::string pids = dir() + "/pids";
    std::filesystem::create_directory(pids);
    std::string hang = dir() + "/hang.sh";
    put_file(hang, "#!/bin/sh\necho $$ > \"$1/$$\"\nexec sleep 60\n");
    std::filesystem::permissions(hang, std::filesystem::perms::owner_all);
    MemoryTrace trace;
    VirtualClock clock{{2004, 5, 6, 7, 1, 5}};
    auto pids_written = [&] {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(pids)) {
            found.push_back(entry.path().filename().string());
        }
        return found;
    };
    {
        HookSettings settings;
        settings.commands[HookEvent::Sent] = {hang, pids};
        EngineEvents events(clock, trace);
        HookRunner runner(std::move(settings), trace);
        HookFeed feed(runner, events, trace);
        for (std::size_t i = 0; i <= HookRunner::most_running; ++i) {
            events.note(message_event("sent", "2004-5-6", 1, static_cast<int>(i), 1, "139", "x"));
        }
        ASSERT_TRUE(eventually([&] { return pids_written().size() == 16; })) << pids_written().size();
        ASSERT_TRUE(eventually([&] {
            return trace.contains("hook for 2004-5-6-sent-1-16 waits: 16 hooks still running");
        })) << trace.text();
        EXPECT_EQ(runner.running(), HookRunner::most_running);
        EXPECT_EQ(read_journal_cursor(journal_dir, "hooks")->seq, 16); // the 17th is not handed over yet
        // One ends: the seventeenth gets its turn.
        ::kill(std::stoi(pids_written().front()), SIGKILL);
        ASSERT_TRUE(eventually([&] { return pids_written().size() == 17; })) << trace.text();
        EXPECT_TRUE(eventually([&] { return read_journal_cursor(journal_dir, "hooks")->seq == 17; }));
    }
    // The runner's end stopped every one (exec'd sleep included) and collected it: no process, no zombie.
    for (const std::string& pid : pids_written()) {
        EXPECT_FALSE(std::filesystem::exists("/proc/" + pid)) << "hook " << pid << " left behind";
    }
}

TEST_F(HookRunnerLimit, EventsNotHandedOverBeforeTheEndAreHandedOverAtTheNextStart) {
    std::string note = dir() + "/note-id.sh";
    put_file(note, "#!/bin/sh\necho \"$VMSMS_EVENT_ID\" >> \"$1\"\n");
    std::filesystem::permissions(note, std::filesystem::perms::owner_all);
    std::string runs = dir() + "/ids.txt";
    MemoryTrace trace;
    VirtualClock clock{{2004, 5, 6, 7, 1, 5}};
    auto settings = [&] {
        HookSettings s;
        s.commands[HookEvent::Sent] = {note, runs};
        return s;
    };
    {
        EngineEvents events(clock, trace);
        HookRunner runner(settings(), trace);
        HookFeed feed(runner, events, trace);
        events.note(message_event("sent", "2004-5-6", 1, 1, 1, "139", "x"));
        ASSERT_TRUE(eventually([&] { return file_bytes(runs) == "2004-5-6-sent-1-1\n"; })) << trace.text();
    }
    {
        // Journaled while no hook was handed anything: the engine was killed before its feed got to them.
        EngineEvents events(clock, trace);
        events.note(message_event("sent", "2004-5-6", 1, 2, 1, "139", "x"));
        events.note(message_event("sent", "2004-5-6", 1, 3, 1, "139", "x"));
    }
    EngineEvents events(clock, trace);
    HookRunner runner(settings(), trace);
    HookFeed feed(runner, events, trace);
    EXPECT_TRUE(eventually([&] { return file_bytes(runs).size() == 3 * std::string("2004-5-6-sent-1-1\n").size(); }))
        << file_bytes(runs);
    std::vector<std::string> ids = lines_of(file_bytes(runs));
    EXPECT_EQ(ids, (std::vector<std::string>{"2004-5-6-sent-1-1", "2004-5-6-sent-1-2", "2004-5-6-sent-1-3"}));
}

} // namespace
