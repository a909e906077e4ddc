// server.txt's [LIMITS] against the real vmsmsd and the simulated modem, in real time: a per-minute
// limit paces a queue without failing any of it, a gateway of the shared queue at its daily cap leaves
// everything to the others, the counts survive a restart, and quiet hours hold the queue while an
// on-demand reply goes through them (unless QUIET_REPLIES=0).
#include "platform/clock.h"
#include "platform/gbk.h"
#include "store/limit_counts.h"
#include "store/report_logs.h"
#include "support/gateway_test.h"
#include "support/pg_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace {

std::vector<std::string> lines_with(const std::string& text, const std::string& part) {
    std::vector<std::string> found;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.find(part) != std::string::npos) {
            found.push_back(line);
        }
    }
    return found;
}

std::string number(int n) {
    return std::to_string(13900000000LL + n);
}

class LimitsEndToEnd : public GatewayTest {
protected:
    void limit(const std::string& lines) { put_file("server.txt", file_bytes("server.txt") + "[LIMITS]\r\n" + lines); }
    std::string state() {
        std::vector<std::string> line = lines_with(file_bytes("status.txt"), "state=");
        if (line.empty()) {
            return "";
        }
        std::string value = line.front().substr(line.front().find('=') + 1);
        return value.substr(0, value.find_last_not_of("\r") + 1);
    }
    // The day's records the engine is through with (its send counter, missing before the first).
    long records_done() {
        std::string counter = file_bytes(day + "/send/acc");
        return counter.empty() ? 0 : std::stol(counter);
    }
    std::string diagnostics() {
        return "--- vmsmsd.out\n" + file_bytes("vmsmsd.out") + "--- status.txt\n" + file_bytes("status.txt") +
               "--- sent\n" + modem->sent_text();
    }
};

// Watches status.txt while the gateway sends: whether it ever said `limited`.
class SubmissionWatch {
public:
    SubmissionWatch()
        : thread_([this] {
              while (!stop_) {
                  if (file_bytes("status.txt").find("state=limited") != std::string::npos) {
                      saw_limited_ = true;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
              }
          }) {}
    ~SubmissionWatch() { stop(); }
    void stop() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    bool saw_limited() const { return saw_limited_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> saw_limited_{false};
    std::thread thread_;
};

// The one slow case (about two minutes): 30 messages under PER_MINUTE=10 all go, none fails, and never
// more than ten within a minute. The limiter counts in whole seconds, so the eleventh may follow the
// first by a little over 59 s.
TEST_F(LimitsEndToEnd, ThirtyMessagesUnderTenAMinuteAllGoAtThatPace) {
    limit("PER_MINUTE=10\r\n");
    for (int r = 0; r < 3; ++r) {
        std::vector<std::string> args{"--english"};
        for (int i = 1; i <= 10; ++i) {
            args.insert(args.end(), {"--to", number(r * 10 + i)});
        }
        args.push_back("batch " + std::to_string(r));
        ASSERT_EQ(send(args).exit_code, 0);
    }
    SubmissionWatch watch;
    start_gateway({"--responsive"});
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "3"; }, 200000)) << diagnostics();
    watch.stop();

    std::vector<std::string> sent = modem->sent_lines();
    ASSERT_EQ(sent.size(), 30u) << diagnostics();
    std::set<std::string> numbers;
    for (const std::string& line : sent) {
        EXPECT_EQ(line.rfind("sent ", 0), 0u) << line;
        numbers.insert(line.substr(line.find("to=") + 3, 14));
    }
    EXPECT_EQ(numbers.size(), 30u) << modem->sent_text();
    EXPECT_EQ(file_bytes("log/FAIL" + day + ".log"), "");

    // When each went, as the gateway logged it (whole seconds, the limiter's own measure); a watch from
    // outside would see a busy machine's delays instead.
    std::vector<ReportLine> logged = read_report_log(report_log_path("SUCC", day));
    ASSERT_EQ(logged.size(), 30u);
    std::vector<long> at;
    for (const ReportLine& line : logged) {
        int h = 0, m = 0, sec = 0;
        ASSERT_EQ(std::sscanf(line.time.c_str(), "%d:%d:%d", &h, &m, &sec), 3) << line.time;
        long seconds = h * 3600L + m * 60 + sec;
        at.push_back(!at.empty() && seconds < at.back() ? seconds + 86400 : seconds); // past midnight
    }
    for (std::size_t i = 0; i + 10 < at.size(); ++i) {
        EXPECT_GE(at[i + 10] - at[i], 59) << "messages " << i + 1 << " and " << i + 11;
    }
    long whole = at.back() - at.front();
    EXPECT_GE(whole, 118);
    EXPECT_LE(whole, 160) << "held longer than the limit asks";

    EXPECT_TRUE(watch.saw_limited()) << diagnostics();
    // Each hold is said once, however many cycles it lasts; there were two waits at least.
    std::string out = file_bytes("vmsmsd.out");
    std::vector<std::string> holds = lines_with(out, "发送暂停：每分钟限额 10 条，");
    std::map<std::string, int> times_said;
    for (const std::string& line : holds) {
        ++times_said[line];
        EXPECT_TRUE(has(line, " 后继续（照常接收）。")) << line;
    }
    EXPECT_GE(times_said.size(), 2u) << out;
    for (const auto& [line, times] : times_said) {
        EXPECT_EQ(times, 1) << line;
    }
}

// PER_DAY=3: the gateway sends three of four and holds the fourth; after SIGTERM and a new start the
// counts on disk still hold it, and nothing is failed.
TEST_F(LimitsEndToEnd, TheDayCountSurvivesARestart) {
    limit("PER_DAY=3\r\n");
    ASSERT_EQ(send({"--english", "--to", number(1), "--to", number(2), "--to", number(3), "--to", number(4), "four"})
                  .exit_code,
              0);
    start_gateway({"--responsive"});
    ASSERT_TRUE(eventually([&] { return modem->sent_lines().size() == 3 && state() == "limited"; }, 30000))
        << diagnostics();
    EXPECT_TRUE(has(file_bytes("vmsmsd.out"), "发送暂停：每天限额 3 条，")) << diagnostics();
    gateway->signal(SIGTERM);
    ASSERT_EQ(gateway->wait(15000), 0) << diagnostics();

    start_gateway({"--responsive"});
    ASSERT_TRUE(eventually([&] { return state() == "limited"; }, 30000)) << diagnostics();
    std::this_thread::sleep_for(std::chrono::seconds(3)); // three cycles of a responsive engine
    EXPECT_EQ(modem->sent_lines().size(), 3u) << diagnostics();
    EXPECT_EQ(state(), "limited");
    EXPECT_EQ(records_done(), 0); // the record is not over: its fourth waits
    EXPECT_EQ(file_bytes("log/FAIL" + day + ".log"), "");
    EXPECT_EQ(lines_with(file_bytes("log/SUCC" + day + ".log"), "   " + number(4)).size(), 0u);
}

std::string clock_text(int minute_of_day) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", minute_of_day / 60, minute_of_day % 60);
    return text;
}

// A quiet span from a minute before now to five minutes after, as the clock stands (it may cross
// midnight).
std::string span_around_now() {
    LocalTime now = real_clock().now();
    int minute = now.hour * 60 + now.minute;
    return clock_text((minute + 1440 - 1) % 1440) + "-" + clock_text((minute + 5) % 1440);
}

struct QuietCase {
    const char* name;
    const char* replies_key; // what goes after QUIET
    bool reply_goes;
};

void PrintTo(const QuietCase& c, std::ostream* os) {
    *os << c.name;
}

class QuietHours : public LimitsEndToEnd, public ::testing::WithParamInterface<QuietCase> {};

// The queued record waits, the status says `quiet-hours`, and a query that comes in meanwhile is
// answered at once; with QUIET_REPLIES=0 the answer waits with the rest.
TEST_P(QuietHours, HoldTheQueueAndLetRepliesThroughUnlessTold) {
    limit("QUIET=" + span_around_now() + "\r\n" + GetParam().replies_key);
    std::filesystem::create_directory("query");
    put_file("query/query", "[query]\r\n000000=222222\r\nP1=" + gbk("今日价格") + "\r\n");
    ASSERT_EQ(send({"--english", "--to", number(1), "--to", number(2), "offer"}).exit_code, 0);
    start_gateway({"--responsive"});
    ASSERT_TRUE(eventually([&] { return state() == "quiet-hours"; }, 20000)) << diagnostics();
    EXPECT_TRUE(has(file_bytes("vmsmsd.out"), "发送暂停：静默时段 ")) << diagnostics();

    ASSERT_EQ(ctl({"deliver", "--from", "13800000001", "--text", "*P1"}).exit_code, 0);
    // The answer is queued as the day's second record once the query is stored.
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/new/acc") == "2"; }, 20000)) << diagnostics();
    if (GetParam().reply_goes) {
        ASSERT_TRUE(eventually([&] { return !modem->sent_lines().empty(); }, 10000)) << diagnostics();
    }
    std::this_thread::sleep_for(std::chrono::seconds(3)); // three cycles of a responsive engine
    std::vector<std::string> sent = modem->sent_lines();
    if (GetParam().reply_goes) {
        ASSERT_EQ(sent.size(), 1u) << diagnostics();
        EXPECT_TRUE(has(sent[0], "to=+8613800000001") && has(sent[0], "text=今日价格")) << sent[0];
    } else {
        EXPECT_EQ(sent.size(), 0u) << diagnostics();
    }
    EXPECT_EQ(state(), "quiet-hours");
    EXPECT_EQ(records_done(), 0); // the offer, first in the queue, still waits
    EXPECT_EQ(file_bytes("log/FAIL" + day + ".log"), "");
}

const QuietCase quiet_cases[] = {
    {"replies_go", "", true},
    {"replies_wait", "QUIET_REPLIES=0\r\n", false},
};

INSTANTIATE_TEST_SUITE_P(Replies, QuietHours, ::testing::ValuesIn(quiet_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Two gateways of one shared queue, each with its own directory and simulated modem; a limit holds the
// first.
class SharedQueueLimits : public TempDirTest {
protected:
    struct Gateway {
        std::string dir;
        std::unique_ptr<SimulatedModem> modem;
        std::unique_ptr<BackgroundProgram> program;
    };

    void SetUp() override {
        TempDirTest::SetUp();
        pg = std::make_unique<PgServer>(dir() + "/pg");
        ASSERT_TRUE(pg->ready()) << pg->error();
    }
    void TearDown() override {
        for (Gateway* g : {&held, &other}) {
            if (g->program) {
                g->program->signal(SIGTERM);
                g->program->wait(15000);
            }
            g->program.reset();
            g->modem.reset();
        }
        pg.reset();
        TempDirTest::TearDown();
    }
    void set_up(Gateway& g, const std::string& name, const std::string& extra) {
        g.dir = dir() + "/" + name;
        std::filesystem::create_directories(g.dir);
        g.modem = std::make_unique<SimulatedModem>(g.dir);
        ASSERT_TRUE(g.modem->ready()) << g.modem->output();
        put_file(g.dir + "/server.txt", "[SET]\r\nCOM=" + g.modem->device() + "\r\nRESPONSIVE=1\r\n[DB]\r\nDSN=" +
                                            pg->dsn() + "\r\nGATEWAY=" + name + "\r\n" + extra);
    }
    void start(Gateway& g) {
        g.program = std::make_unique<BackgroundProgram>(
            built_program("programs/vmsmsd"), std::vector<std::string>{"--dir", g.dir, "--speed", "0", "--fast-device"},
            g.dir + "/vmsmsd.out");
    }
    static bool has_line(const std::string& path, const std::string& line) {
        return !lines_with(file_bytes(path), line).empty();
    }
    long long query(const std::string& sql) {
        std::optional<std::string> value = pg->psql_value(sql);
        return value ? std::stoll(*value) : -1;
    }
    std::string diagnostics() {
        return "--- held\n" + file_bytes(held.dir + "/vmsmsd.out") + "--- other\n" +
               file_bytes(other.dir + "/vmsmsd.out") + "--- outbox\n" +
               pg->psql_value(
                     "SELECT string_agg(gateway || ':' || state || ':' || n, ' ') FROM "
                     "(SELECT coalesce(gateway, '-') AS gateway, state, count(*) AS n FROM outbox GROUP BY 1, 2) s")
                   .value_or("?");
    }

    std::unique_ptr<PgServer> pg;
    Gateway held;
    Gateway other;
};

TEST_F(SharedQueueLimits, AGatewayAtItsDailyCapClaimsNothingAndTheOtherSendsEverything) {
    set_up(held, "held", "[LIMITS]\r\nPER_DAY=2\r\n");
    set_up(other, "other", "");
    // Two messages sent today already, as the gateway keeps its counts.
    LocalTime now = real_clock().now();
    put_file(held.dir + "/limits.txt", "day " + spool_date(now) + " 2\nmonth " + month_key(now) + " 2\nrecent\n");
    ProgramResult init = run_program(built_program("programs/vmsmsd"), {"--dir", held.dir, "--init-db"});
    ASSERT_EQ(init.exit_code, 0) << init.err;
    // Written through the held gateway's directory: where a message is queued does not decide who sends it.
    for (int i = 0; i < 20; ++i) {
        ProgramResult queued =
            run_program(built_program("programs/vmsms-send"),
                        {"--dir", held.dir, "--db", "--english", "--to", number(i), "m" + std::to_string(i)});
        ASSERT_EQ(queued.exit_code, 0) << queued.err;
    }
    start(held);
    ASSERT_TRUE(eventually([&] { return has_line(held.dir + "/status.txt", "state=limited"); }, 20000))
        << diagnostics();
    start(other);
    ASSERT_TRUE(eventually([&] { return query("SELECT count(*) FROM outbox WHERE state = 'sent'") == 20; }, 60000))
        << diagnostics();

    EXPECT_EQ(held.modem->sent_text(), "");
    EXPECT_EQ(query("SELECT count(*) FROM outbox WHERE gateway = 'held'"), 0) << diagnostics();
    EXPECT_EQ(query("SELECT count(*) FROM outbox WHERE gateway = 'other' AND state = 'sent' AND attempts = 1"), 20);
    std::map<std::string, int> texts;
    for (const std::string& line : other.modem->sent_lines()) {
        EXPECT_EQ(line.rfind("sent ", 0), 0u) << line;
        std::string text = line.substr(line.find(" text=") + 6);
        ++texts[text.substr(0, text.find_last_not_of(' ') + 1)];
    }
    EXPECT_EQ(texts.size(), 20u) << other.modem->sent_text();
    for (const auto& [text, times] : texts) {
        EXPECT_EQ(times, 1) << text;
    }
    for (const Gateway* g : {&held, &other}) {
        EXPECT_EQ(file_bytes(g->dir + "/log/FAIL" + spool_date(now) + ".log"), "") << g->dir;
    }
    EXPECT_TRUE(has_line(held.dir + "/status.txt", "state=limited")) << diagnostics();
    EXPECT_NE(file_bytes(held.dir + "/vmsmsd.out").find("发送暂停：每天限额 2 条，"), std::string::npos)
        << diagnostics();
}

// A gateway that reaches its cap in the middle of a claimed batch gives every row it has not sent back,
// the one it was about to send included, so the other gateway takes them at once instead of after the
// lease (60 s).
TEST_F(SharedQueueLimits, ACapReachedInTheMiddleOfABatchGivesTheRestBackAtOnce) {
    set_up(held, "held", "BATCH=5\r\n[LIMITS]\r\nPER_DAY=1\r\n");
    set_up(other, "other", "");
    ProgramResult init = run_program(built_program("programs/vmsmsd"), {"--dir", held.dir, "--init-db"});
    ASSERT_EQ(init.exit_code, 0) << init.err;
    for (int i = 0; i < 5; ++i) {
        ProgramResult queued =
            run_program(built_program("programs/vmsms-send"),
                        {"--dir", held.dir, "--db", "--english", "--to", number(i), "b" + std::to_string(i)});
        ASSERT_EQ(queued.exit_code, 0) << queued.err;
    }
    start(held);
    ASSERT_TRUE(eventually([&] { return has_line(held.dir + "/status.txt", "state=limited"); }, 20000))
        << diagnostics();
    EXPECT_EQ(query("SELECT count(*) FROM outbox WHERE state = 'leased'"), 0) << diagnostics();
    start(other);
    ASSERT_TRUE(eventually([&] { return query("SELECT count(*) FROM outbox WHERE state = 'sent'") == 5; }, 20000))
        << diagnostics();
    EXPECT_EQ(held.modem->sent_lines().size(), 1u) << held.modem->sent_text();
    EXPECT_EQ(other.modem->sent_lines().size(), 4u) << other.modem->sent_text();
}

// The answer to a query that reaches a gateway in its quiet hours goes through them, and goes once: the
// outbox's row and the gateway's own copy of the record are one message.
TEST_F(SharedQueueLimits, AQueryAnsweredInTheQuietHoursIsAnsweredOnce) {
    set_up(held, "held", "[LIMITS]\r\nQUIET=" + span_around_now() + "\r\n");
    set_up(other, "other", "");
    std::filesystem::create_directories(held.dir + "/query");
    put_file(held.dir + "/query/query", "[query]\r\n000000=222222\r\nP1=price one\r\n");
    ProgramResult init = run_program(built_program("programs/vmsmsd"), {"--dir", held.dir, "--init-db"});
    ASSERT_EQ(init.exit_code, 0) << init.err;
    start(held);
    start(other);
    ASSERT_TRUE(eventually([&] { return has_line(held.dir + "/status.txt", "state=quiet-hours"); }, 20000))
        << diagnostics();
    ASSERT_EQ(held.modem->ctl({"deliver", "--from", "13800000001", "--text", "*P1"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return query("SELECT count(*) FROM outbox WHERE state = 'sent'") == 1; }, 20000))
        << diagnostics();
    std::this_thread::sleep_for(std::chrono::seconds(3)); // three cycles of each gateway
    std::string answers;
    for (const Gateway* g : {&held, &other}) {
        for (const std::string& line : g->modem->sent_lines()) {
            if (line.find("to=+8613800000001") != std::string::npos) {
                answers += g->dir.substr(g->dir.rfind('/') + 1) + ": " + line + "\n";
            }
        }
    }
    EXPECT_EQ(lines_with(answers, "text=price one").size(), 1u) << answers;
    EXPECT_EQ(query("SELECT count(*) FROM outbox"), 1) << diagnostics();
}

} // namespace
