// Several vmsmsd, each with its own simulated modem, sharing one outbox in a PostgreSQL server of the
// test's own, in real time: every message goes out once and the work is shared; a gateway killed in
// the middle of its batch, a database restarted or cut off under load, and a database that cannot be
// reached lose nothing.
#include "platform/clock.h"
#include "support/free_port.h"
#include "support/gateway_test.h"
#include "support/pg_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <deque>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// One HTTP/1.1 request on a connection of its own ("Connection: close"); the status code, or 0 when the
// exchange failed. Enough of a client for many requests from a test's own threads.
int http_status(int port, const std::string& method, const std::string& path, const std::string& token,
                const std::string& body) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return 0;
    }
    std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token +
                          "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                          "\r\nConnection: close\r\n\r\n" + body;
    bool written = ::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size());
    std::string answer;
    char buffer[4096];
    ssize_t n = 0;
    while (written && (n = ::read(fd, buffer, sizeof buffer)) > 0) {
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    // "HTTP/1.1 201 Created"
    return answer.size() > 12 && answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

struct Gateway {
    std::string name;
    std::string dir;
    std::unique_ptr<SimulatedModem> modem;
    std::unique_ptr<BackgroundProgram> program;
};

class SharedQueueEndToEnd : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        pg = std::make_unique<PgServer>(dir() + "/pg");
        ASSERT_TRUE(pg->ready()) << pg->error();
    }
    void TearDown() override {
        for (Gateway& g : gateways) {
            if (g.program) {
                g.program->signal(SIGTERM);
                g.program->wait(15000);
            }
        }
        if (intake) {
            intake->signal(SIGTERM);
            intake->wait(10000);
        }
        gateways.clear();
        pg.reset();
        TempDirTest::TearDown();
    }

    // A gateway directory with its simulated modem and a server.txt that names the shared queue.
    Gateway& add_gateway(const std::string& name, const std::vector<std::string>& modem_args = {},
                         const std::string& db_extra = "", const std::string& dsn = "") {
        Gateway g;
        g.name = name;
        g.dir = dir() + "/" + name;
        std::filesystem::create_directories(g.dir);
        g.modem = std::make_unique<SimulatedModem>(g.dir, modem_args);
        EXPECT_TRUE(g.modem->ready()) << g.modem->output();
        put_file(g.dir + "/server.txt", "[SET]\r\nCOM=" + g.modem->device() +
                                            "\r\nRESPONSIVE=1\r\n[DB]\r\nDSN=" + (dsn.empty() ? pg->dsn() : dsn) +
                                            "\r\nGATEWAY=" + name + "\r\n" + db_extra);
        gateways.push_back(std::move(g));
        return gateways.back();
    }
    ProgramResult vmsmsd(const Gateway& g, const std::vector<std::string>& args) {
        std::vector<std::string> all{"--dir", g.dir};
        all.insert(all.end(), args.begin(), args.end());
        return run_program(built_program("programs/vmsmsd"), all);
    }
    void start(Gateway& g) {
        g.program = std::make_unique<BackgroundProgram>(
            built_program("programs/vmsmsd"), std::vector<std::string>{"--dir", g.dir, "--speed", "0", "--fast-device"},
            g.dir + "/vmsmsd.out");
    }
    // Starts the network intake on g's directory with a new token; its port, or 0.
    int start_intake(const Gateway& g, std::string& token) {
        ProgramResult made =
            run_program(built_program("programs/vmsms-listener"), {"--dir", g.dir, "--new-token", "writer"});
        token = made.out.substr(0, made.out.find_last_not_of("\r\n") + 1);
        int port = free_tcp_port();
        intake = std::make_unique<BackgroundProgram>(built_program("programs/vmsms-listener"),
                                                     std::vector<std::string>{"--dir", g.dir, "--listen",
                                                                              "127.0.0.1:" + std::to_string(port),
                                                                              "--rate", "100000", "--burst", "100000"},
                                                     g.dir + "/listener.out");
        bool up = eventually(
            [&] { return file_bytes(g.dir + "/listener.out").find("listening on") != std::string::npos; }, 10000);
        return made.exit_code == 0 && up ? port : 0;
    }
    ProgramResult send(const Gateway& g, const std::string& number, const std::string& text) {
        return run_program(built_program("programs/vmsms-send"),
                           {"--dir", g.dir, "--db", "--english", "--to", number, text});
    }
    long long query(const std::string& sql) {
        std::optional<std::string> value = pg->psql_value(sql);
        return value ? std::stoll(*value) : -1;
    }
    long long unsettled() { return query("SELECT count(*) FROM outbox WHERE state IN ('pending', 'leased')"); }
    // How many times each text went out, over every modem; and how many each gateway's modem sent.
    std::map<std::string, int> texts_sent(std::map<std::string, int>* per_gateway = nullptr) {
        std::map<std::string, int> texts;
        for (const Gateway& g : gateways) {
            for (const std::string& line : g.modem->sent_lines()) {
                std::size_t at = line.find(" text=");
                if (line.rfind("sent ", 0) != 0 || at == std::string::npos) {
                    continue;
                }
                std::string text = line.substr(at + 6);
                text = text.substr(0, text.find_last_not_of(' ') + 1);
                ++texts[text];
                if (per_gateway) {
                    ++(*per_gateway)[g.name];
                }
            }
        }
        return texts;
    }
    std::string diagnostics() {
        std::string text;
        for (const Gateway& g : gateways) {
            text += "--- " + g.name + "\n" + file_bytes(g.dir + "/vmsmsd.out").substr(0, 3000) + "\n";
        }
        return text + "--- outbox\n" +
               pg->psql_value("SELECT string_agg(state || ':' || count, ' ') FROM "
                              "(SELECT state, count(*) FROM outbox GROUP BY 1) s")
                   .value_or("?");
    }
    static std::string number(int n) { return std::to_string(13900000000LL + n); }

    std::unique_ptr<PgServer> pg;
    std::deque<Gateway> gateways; // a deque: a reference to one stays good while more are added
    std::unique_ptr<BackgroundProgram> intake;
};

TEST_F(SharedQueueEndToEnd, ThreeGatewaysSendThreeThousandMessagesFromFourWritersEachOnce) {
    for (const char* name : {"g1", "g2", "g3"}) {
        add_gateway(name, {}, "BATCH=10\r\n");
    }
    ProgramResult init = vmsmsd(gateways[0], {"--init-db"});
    ASSERT_EQ(init.exit_code, 0) << init.err;
    for (Gateway& g : gateways) {
        start(g);
    }
    // Four writers at once: two vmsms-send (one a process per message) on g1's and g2's spools, and two
    // clients of the network intake on g3's, whose queue lock they contend for.
    std::string token;
    int port = start_intake(gateways[2], token);
    ASSERT_NE(port, 0) << file_bytes(gateways[2].dir + "/listener.out");
    constexpr int writers = 4;
    constexpr int per_writer = 750;
    std::atomic<int> refused{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            for (int i = 0; i < per_writer; ++i) {
                std::string to = number(w * 1000 + i);
                std::string text = "w" + std::to_string(w) + "m" + std::to_string(i);
                bool queued = w < 2 ? send(gateways[w], to, text).exit_code == 0
                                    : http_status(port, "POST", "/v1/messages", token,
                                                  R"({"to": [")" + to + R"("], "text": ")" + text +
                                                      R"(", "english": true})") == 201;
                if (!queued) {
                    ++refused;
                }
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    ASSERT_EQ(refused.load(), 0);
    ASSERT_EQ(query("SELECT count(*) FROM outbox"), writers * per_writer);
    ASSERT_TRUE(eventually([&] { return unsettled() == 0; }, 180000)) << diagnostics();

    std::map<std::string, int> per_gateway;
    std::map<std::string, int> texts = texts_sent(&per_gateway);
    EXPECT_EQ(texts.size(), static_cast<std::size_t>(writers * per_writer));
    for (const auto& [text, times] : texts) {
        EXPECT_EQ(times, 1) << text;
    }
    EXPECT_EQ(query("SELECT count(*) FROM outbox WHERE state = 'sent' AND attempts = 1"), writers * per_writer);
    // Shared fairly: every gateway took a good part of the work.
    for (const Gateway& g : gateways) {
        EXPECT_GE(per_gateway[g.name], writers * per_writer / 3 / 2) << g.name;
        EXPECT_EQ(query("SELECT count(*) FROM outbox WHERE gateway = '" + g.name + "'"), per_gateway[g.name]);
    }
    // The local copies are marked handled once the queue has settled them.
    for (const Gateway& g : gateways) {
        ProgramResult status;
        EXPECT_TRUE(eventually(
            [&] {
                status = vmsmsd(g, {"--status"});
                return status.out.find(" 0 pending)") != std::string::npos;
            },
            10000))
            << status.out;
        EXPECT_NE(status.out.find("shared      0 pending, 0 leased (0 expired), 3000 sent, 0 failed"),
                  std::string::npos)
            << status.out;
    }
}

TEST_F(SharedQueueEndToEnd, AGatewayKilledMidBatchLeavesItsRowsToTheOthers) {
    // Slow modems and a short lease: the victim holds a batch while it dies.
    add_gateway("victim", {"--submit-latency", "300"}, "LEASE=5\r\nBATCH=10\r\n");
    add_gateway("g2", {"--submit-latency", "100"}, "LEASE=5\r\nBATCH=2\r\n");
    add_gateway("g3", {"--submit-latency", "100"}, "LEASE=5\r\nBATCH=2\r\n");
    ASSERT_EQ(vmsmsd(gateways[0], {"--init-db"}).exit_code, 0);
    for (int i = 0; i < 60; ++i) {
        ASSERT_EQ(send(gateways[i % 3], number(i), "k" + std::to_string(i)).exit_code, 0);
    }
    start(gateways[0]);
    ASSERT_TRUE(eventually(
        [&] { return query("SELECT count(*) FROM outbox WHERE gateway = 'victim' AND state = 'sent'") >= 2; }, 30000))
        << diagnostics();
    start(gateways[1]);
    start(gateways[2]);
    gateways[0].program->signal(SIGKILL);
    gateways[0].program->wait(10000);
    gateways[0].program.reset();
    long long held = query("SELECT count(*) FROM outbox WHERE gateway = 'victim' AND state = 'leased'");
    EXPECT_GT(held, 0) << "the victim held no batch when it died";
    // Its leases run out after 5 s; the others send the rest.
    ASSERT_TRUE(eventually([&] { return unsettled() == 0; }, 60000)) << diagnostics();
    std::map<std::string, int> texts = texts_sent();
    EXPECT_EQ(texts.size(), 60u);
    int twice = 0;
    for (const auto& [text, times] : texts) {
        EXPECT_LE(times, 2) << text;
        twice += times - 1;
    }
    EXPECT_LE(twice, 1) << "only the recipient in flight may go twice";
    EXPECT_EQ(query("SELECT count(*) FROM outbox WHERE state = 'sent'"), 60);
    EXPECT_GE(query("SELECT count(*) FROM outbox WHERE attempts = 2 AND gateway <> 'victim'"), held - 1);
}

TEST_F(SharedQueueEndToEnd, ADatabaseRestartedOrCutOffUnderLoadLosesNothing) {
    add_gateway("g1", {"--submit-latency", "20"}, "BATCH=3\r\n");
    add_gateway("g2", {"--submit-latency", "20"}, "BATCH=3\r\n");
    ASSERT_EQ(vmsmsd(gateways[0], {"--init-db"}).exit_code, 0);
    for (int i = 0; i < 150; ++i) {
        ASSERT_EQ(send(gateways[i % 2], number(i), "r" + std::to_string(i)).exit_code, 0);
    }
    start(gateways[0]);
    start(gateways[1]);
    ASSERT_TRUE(eventually([&] { return query("SELECT count(*) FROM outbox WHERE state = 'sent'") >= 20; }, 30000))
        << diagnostics();
    ASSERT_TRUE(pg->stop());
    // While it is down a writer is told and nothing is queued; the gateways wait.
    ProgramResult refused = send(gateways[0], number(999), "never");
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find("cannot reach the database"), std::string::npos) << refused.err;
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_TRUE(pg->start()) << pg->error();
    // Cut every gateway's connection off in the middle of the sending, too.
    ASSERT_TRUE(eventually([&] { return query("SELECT count(*) FROM outbox WHERE state = 'sent'") >= 70; }, 60000))
        << diagnostics();
    EXPECT_GE(query("SELECT count(*) FROM (SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                    " WHERE application_name = 'vmsms' AND pid <> pg_backend_pid()) t"),
              1);
    ASSERT_TRUE(eventually([&] { return unsettled() == 0; }, 90000)) << diagnostics();
    std::map<std::string, int> texts = texts_sent();
    EXPECT_EQ(texts.size(), 150u);
    for (const auto& [text, times] : texts) {
        EXPECT_EQ(times, 1) << text;
    }
    EXPECT_EQ(texts.count("never"), 0u);
    EXPECT_EQ(query("SELECT count(*) FROM outbox WHERE state = 'sent'"), 150);
    for (const Gateway& g : gateways) {
        std::string out = file_bytes(g.dir + "/vmsmsd.out");
        EXPECT_NE(out.find("共享发送队列（数据库）连接不上"), std::string::npos) << g.name;
        EXPECT_NE(out.find("共享发送队列（数据库）已重新连接"), std::string::npos) << g.name;
    }
}

TEST_F(SharedQueueEndToEnd, AQueryIsAnsweredThroughTheQueueAndADownModemClaimsNothing) {
    Gateway& a = add_gateway("a");
    add_gateway("b");
    ProgramResult init = vmsmsd(a, {"--init-db"});
    ASSERT_EQ(init.exit_code, 0) << init.out << init.err;
    std::filesystem::create_directories(a.dir + "/query");
    put_file(a.dir + "/query/query", "[query]\r\n000000=222222\r\nP1=price one\r\n");
    start(gateways[0]);
    start(gateways[1]);
    ASSERT_EQ(a.modem->ctl({"deliver", "--from", "13800000001", "--text", "*P1"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return query("SELECT count(*) FROM outbox WHERE state = 'sent'") == 1; }, 30000))
        << diagnostics();
    EXPECT_EQ(query("SELECT count(*) FROM inbox WHERE gateway = 'a' AND sender = '13800000001' AND body = '*P1'"), 1);
    EXPECT_EQ(query("SELECT count(*) FROM outbox WHERE number = '13800000001' AND origin = 'a' AND body = 'price one'"),
              1);
    // b's modem is pulled out: b claims nothing; a sends everything.
    ASSERT_EQ(gateways[1].modem->ctl({"fault", "unplug"}).exit_code, 0);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(send(gateways[1], number(i), "d" + std::to_string(i)).exit_code, 0);
    }
    ASSERT_TRUE(eventually([&] { return unsettled() == 0; }, 30000)) << diagnostics();
    EXPECT_EQ(query("SELECT count(*) FROM outbox WHERE gateway = 'b' AND body LIKE 'd%'"), 0);
    EXPECT_EQ(query("SELECT count(*) FROM outbox WHERE gateway = 'a' AND body LIKE 'd%' AND state = 'sent'"), 10);
}

TEST_F(SharedQueueEndToEnd, ADatabaseThatCannotBeReachedIsSaidPlainlyAndNothingIsQueued) {
    Gateway& g = add_gateway("g", {}, "", "postgresql:///vmsms?host=" + dir() + "/nowhere&port=1");
    ProgramResult init = vmsmsd(g, {"--init-db"});
    EXPECT_EQ(init.exit_code, 1);
    EXPECT_NE(init.err.find("vmsmsd: cannot reach the database dbname=vmsms host=" + dir() + "/nowhere port=1"),
              std::string::npos)
        << init.err;
    ProgramResult sent = send(g, number(1), "hello");
    EXPECT_EQ(sent.exit_code, 1);
    EXPECT_NE(sent.err.find("cannot reach the database"), std::string::npos) << sent.err;
    EXPECT_FALSE(exists(g.dir + "/" + spool_date(real_clock().now()) + "/new/acc"));
    // The gateway runs (its modem still receives) and says what is wrong.
    start(g);
    ASSERT_TRUE(eventually(
        [&] { return file_bytes(g.dir + "/vmsmsd.out").find("共享发送队列（数据库）连接不上") != std::string::npos; },
        20000))
        << file_bytes(g.dir + "/vmsmsd.out");
    EXPECT_TRUE(g.program->running());
    // A reachable database without the tables: --init-db is named.
    put_file(g.dir + "/server.txt", "[SET]\r\nCOM=" + g.modem->device() + "\r\n[DB]\r\nDSN=" + pg->dsn() + "\r\n");
    ProgramResult untabled = send(g, number(1), "hello");
    EXPECT_EQ(untabled.exit_code, 1);
    EXPECT_NE(untabled.err.find("run vmsmsd --init-db"), std::string::npos) << untabled.err;
    // --db without a database named.
    put_file(g.dir + "/server.txt", "[SET]\r\nCOM=" + g.modem->device() + "\r\n");
    ProgramResult plain = send(g, number(1), "hello");
    EXPECT_EQ(plain.exit_code, 1);
    EXPECT_NE(plain.err.find("--db: server.txt names no database"), std::string::npos) << plain.err;
}

// The network intake with the shared queue on: a message posted over HTTP goes into the outbox as
// well as the spool; status and metrics read the shared queue; with the database away the client is
// told to come back (503) and nothing is queued.
TEST_F(SharedQueueEndToEnd, TheIntakeQueuesIntoTheOutboxAndReportsTheSharedQueue) {
    const std::string day = spool_date(real_clock().now());
    Gateway& g = add_gateway("intake");
    ASSERT_EQ(vmsmsd(g, {"--init-db"}).exit_code, 0);
    ProgramResult token = run_program(built_program("programs/vmsms-listener"), {"--dir", g.dir, "--new-token", "crm"});
    ASSERT_EQ(token.exit_code, 0) << token.err;
    std::string secret = token.out.substr(0, token.out.find_last_not_of("\r\n") + 1);
    int port = free_tcp_port();
    std::string address = "127.0.0.1:" + std::to_string(port);
    BackgroundProgram listener(built_program("programs/vmsms-listener"), {"--dir", g.dir, "--listen", address},
                               g.dir + "/listener.out");
    ASSERT_TRUE(eventually(
        [&] { return file_bytes(g.dir + "/listener.out").find("listening on") != std::string::npos; }, 10000))
        << file_bytes(g.dir + "/listener.out");
    // One HTTP request through Python's client; prints the status and the body.
    auto http = [&](const std::string& method, const std::string& path, const std::string& body) {
        std::string script =
            "import sys, urllib.request, urllib.error\n"
            "r = urllib.request.Request(sys.argv[1], data=sys.argv[3].encode() or None, method=sys.argv[2],\n"
            "    headers={'Authorization': 'Bearer ' + sys.argv[4], 'Content-Type': 'application/json'})\n"
            "try:\n    a = urllib.request.urlopen(r, timeout=10)\n"
            "except urllib.error.HTTPError as e:\n    a = e\n"
            "print(a.status if hasattr(a, 'status') else a.code)\nprint(a.read().decode())\n";
        return run_program("/usr/bin/python3", {"-c", script, "http://" + address + path, method, body, secret}).out;
    };
    std::string posted = http("POST", "/v1/messages", R"({"to": ["13900000001", "13900000002"], "text": "你好"})");
    EXPECT_EQ(posted.rfind("201\n", 0), 0u) << posted;
    EXPECT_EQ(query("SELECT count(*) FROM outbox WHERE origin = 'intake' AND body = '你好' AND coding = 'ucs2'"), 2);
    std::string status = http("GET", "/v1/status", "");
    EXPECT_NE(status.find(R"("shared_queue":{)"), std::string::npos) << status;
    EXPECT_NE(status.find(R"("pending":2)"), std::string::npos) << status;
    std::string metrics = http("GET", "/metrics", "");
    EXPECT_NE(metrics.find("vmsms_shared_outbox{state=\"pending\"} 2"), std::string::npos) << metrics;

    ASSERT_TRUE(pg->stop());
    std::string refused = http("POST", "/v1/messages", R"({"to": ["13900000003"], "text": "later"})");
    EXPECT_EQ(refused.rfind("503\n", 0), 0u) << refused;
    if (spool_date(real_clock().now()) == day) { // a new day starts its spool afresh
        EXPECT_EQ(file_bytes(g.dir + "/" + day + "/new/acc"), "1");
    }
    std::string unknown = http("GET", "/v1/status", "");
    EXPECT_NE(unknown.find(R"("error":"the shared queue is unavailable")"), std::string::npos) << unknown;
    ASSERT_TRUE(pg->start()) << pg->error();
    std::string again = http("POST", "/v1/messages", R"({"to": ["13900000003"], "text": "later"})");
    EXPECT_EQ(again.rfind("201\n", 0), 0u) << again;
    listener.signal(SIGTERM);
    listener.wait(10000);
}

} // namespace
