// The shared queue's password in server.txt, in each way libpq takes one, never comes out of the
// gateway's programs: not over HTTP (the intake's /v1/status, /metrics and its 503), not on a terminal
// (vmsmsd --status, --status --json, --init-db, vmsms-send) and not in a log (sms.log, the engine's and
// the intake's output); with the database up, with the password refused, and with the database down,
// so that libpq has errors to tell. Over HTTP not even where the database is, or the gateway's
// directory, is told.
#include "store/db/db_schema.h"
#include "store/db/pg_connection.h"
#include "support/free_port.h"
#include "support/gateway_test.h"
#include "support/http_client.h"
#include "support/param_name.h"
#include "support/pg_server.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

const std::string password = "Sesame7fQ2";
const std::string role = "queue_writer";

enum class Database { Up, PasswordRefused, Down };

struct SecretCase {
    const char* name;
    // The DSN for the server's socket directory and port.
    std::string (*dsn)(const std::string& socket_dir, int port);
    Database database;
};

void PrintTo(const SecretCase& c, std::ostream* os) {
    *os << c.name;
}

std::string key_value(const std::string& socket_dir, int port) {
    return "host=" + socket_dir + " port=" + std::to_string(port) + " dbname=vmsms user=" + role +
           " password=" + password;
}

std::string uri_user_password(const std::string& socket_dir, int port) {
    return "postgresql://" + role + ":" + password + "@/vmsms?host=" + uri_encoded(socket_dir) +
           "&port=" + std::to_string(port);
}

std::string uri_password_parameter(const std::string& socket_dir, int port) {
    return "postgresql:///vmsms?host=" + uri_encoded(socket_dir) + "&port=" + std::to_string(port) + "&user=" + role +
           "&password=" + password;
}

// libpq's own complaint about this one quotes it whole, password and all.
std::string unreadable_uri(const std::string&, int) {
    return "postgresql://" + role + ":" + password + "@[::1/vmsms";
}

class SecretsEndToEnd : public GatewayTest, public ::testing::WithParamInterface<SecretCase> {
protected:
    // One server for the whole table: the role the gateways log in as needs its password checked
    // (scram-sha-256), where the test server trusts everyone else.
    static void SetUpTestSuite() {
        std::string dir = (std::filesystem::temp_directory_path() / "vmsms-secrets-XXXXXX").string();
        ASSERT_NE(::mkdtemp(dir.data()), nullptr);
        pg_dir = new std::string(dir);
        pg = new PgServer(dir + "/pg");
        ASSERT_TRUE(pg->ready()) << pg->error();
        std::string hba = pg->data_dir() + "/pg_hba.conf";
        std::stringstream rules;
        rules << std::ifstream(hba).rdbuf();
        std::ofstream(hba) << "local all " << role << " scram-sha-256\n" << rules.str();
        ASSERT_EQ(pg->psql_value("SELECT pg_reload_conf()").value_or(""), "t") << pg->error();
        ASSERT_TRUE(as_superuser("CREATE ROLE " + role + " LOGIN; ALTER DATABASE vmsms OWNER TO " + role));
        ASSERT_TRUE(as_superuser("ALTER ROLE " + role + " PASSWORD '" + password + "'"));
        std::unique_ptr<PgConnection> db = PgConnection::open(key_value(pg->socket_dir(), pg->port()));
        ASSERT_TRUE(db->ok()) << db->error();
        ASSERT_TRUE(migrate_schema(*db).ok) << db->error();
    }
    static void TearDownTestSuite() {
        delete pg;
        pg = nullptr;
        if (pg_dir) {
            std::error_code ec;
            std::filesystem::remove_all(*pg_dir, ec);
            delete pg_dir;
            pg_dir = nullptr;
        }
    }
    static bool as_superuser(const std::string& sql) {
        std::unique_ptr<PgConnection> db = PgConnection::open(pg->dsn());
        bool done = db->ok() && db->run_script(sql);
        EXPECT_TRUE(done) << db->error();
        return done;
    }

    void SetUp() override {
        GatewayTest::SetUp();
        ASSERT_NE(pg, nullptr);
        ASSERT_TRUE(pg->ready()) << pg->error();
        Database wanted = GetParam().database;
        if (pg->processes().empty()) {
            ASSERT_TRUE(pg->start()) << pg->error();
        }
        std::string server_password = wanted == Database::PasswordRefused ? "not-" + password : password;
        ASSERT_TRUE(as_superuser("ALTER ROLE " + role + " PASSWORD '" + server_password + "'"));
        if (wanted == Database::Down) {
            ASSERT_TRUE(pg->stop()) << pg->error();
        }
        dsn = GetParam().dsn(pg->socket_dir(), pg->port());
        put_file("server.txt", "[SET]\r\nCOM=" + modem->device() + "\r\nRESPONSIVE=1\r\n[DB]\r\nDSN=" + dsn + "\r\n");
    }
    void TearDown() override {
        if (listener) {
            listener->signal(SIGTERM);
            listener->wait(10000);
        }
        GatewayTest::TearDown();
    }

    ProgramResult program(const std::string& name, const std::vector<std::string>& args) {
        ProgramResult result = run_program(built_program("programs/" + name), args);
        std::string command = name;
        for (const std::string& arg : args) {
            command += " " + arg;
        }
        shown[command] = result.out + result.err;
        return result;
    }
    // Starts the intake with a token of its own; its port, or 0.
    int start_listener(std::string& token) {
        ProgramResult made = run_program(built_program("programs/vmsms-listener"), {"--new-token", "app"});
        token = made.out.substr(0, made.out.find_last_not_of("\r\n") + 1);
        int port = free_tcp_port();
        listener = std::make_unique<BackgroundProgram>(
            built_program("programs/vmsms-listener"),
            std::vector<std::string>{"--listen", "127.0.0.1:" + std::to_string(port)}, dir() + "/listener.out");
        bool up = eventually([&] { return has(file_bytes("listener.out"), "listening on"); }, 10000);
        return made.exit_code == 0 && up ? port : 0;
    }

    static PgServer* pg;
    static std::string* pg_dir;
    std::string dsn;
    std::unique_ptr<BackgroundProgram> listener;
    std::map<std::string, std::string> shown; // what each program printed, by program and first argument
};

PgServer* SecretsEndToEnd::pg = nullptr;
std::string* SecretsEndToEnd::pg_dir = nullptr;

TEST_P(SecretsEndToEnd, NoPasswordInAnyAnswerLogOrOutput) {
    const Database database = GetParam().database;
    bool readable = GetParam().dsn != unreadable_uri;
    bool reachable = database == Database::Up && readable;

    ProgramResult status = program("vmsmsd", {"--status"});
    EXPECT_EQ(status.exit_code, 0) << status.err;
    ProgramResult json = program("vmsmsd", {"--status", "--json"});
    EXPECT_EQ(json.exit_code, 0) << json.err;
    ProgramResult init = program("vmsmsd", {"--init-db"});
    EXPECT_EQ(init.exit_code, reachable ? 0 : 1) << init.err;
    ProgramResult sent = program("vmsms-send", {"--db", "--english", "--to", "13900000001", "hello"});
    EXPECT_EQ(sent.exit_code, reachable ? 0 : 1) << sent.err;
    if (!reachable) {
        // The reason is still told on the machine, without the password.
        EXPECT_TRUE(has(sent.err, "cannot reach the database") || has(sent.err, "libpq cannot read the DSN"))
            << sent.err;
        EXPECT_TRUE(has(status.out, "cannot read the shared queue")) << status.out;
    }
    if (reachable || !readable) {
        EXPECT_FALSE(has(status.out, pg->socket_dir())) << status.out;
    } else {
        EXPECT_TRUE(has(status.out, "host=" + pg->socket_dir())) << "the machine itself may see the address";
    }

    start_gateway();
    ASSERT_TRUE(eventually(
        [&] {
            return has(file_bytes("sms.log"), reachable ? "shared queue: connected" : "shared queue: cannot reach");
        },
        20000))
        << file_bytes("sms.log");

    std::string token;
    int port = start_listener(token);
    ASSERT_NE(port, 0) << file_bytes("listener.out");
    HttpAnswer report = http_request(port, "GET", "/v1/status", token);
    EXPECT_EQ(report.status, 200) << report.whole;
    HttpAnswer metrics = http_request(port, "GET", "/metrics", token);
    EXPECT_EQ(metrics.status, 200) << metrics.whole;
    HttpAnswer posted = http_request(port, "POST", "/v1/messages", token, R"({"to": ["13900000002"], "text": "hi"})");
    if (reachable) {
        EXPECT_EQ(posted.status, 201) << posted.whole;
        EXPECT_TRUE(has(report.body, R"("shared_queue":{"expired")")) << report.body;
    } else {
        EXPECT_EQ(posted.status, 503) << posted.whole;
        EXPECT_EQ(posted.body, R"({"error":"not queued: the shared queue is unavailable; try again later"})"
                               "\n");
        EXPECT_TRUE(has(report.body, R"("error":"the shared queue is unavailable")")) << report.body;
        // Why is told where only the machine's operator reads it.
        EXPECT_TRUE(eventually([&] { return has(file_bytes("listener.out"), "not queued:"); }, 5000));
    }
    // Over the network: not where the database is, as whom, or where the gateway keeps its files.
    for (const HttpAnswer* answer : {&report, &posted, &metrics}) {
        for (const std::string& part : {pg->socket_dir(), dir(), role}) {
            EXPECT_FALSE(has(answer->whole, part)) << part << " in " << answer->whole;
        }
    }
    for (const HttpAnswer* answer : {&report, &posted}) {
        for (const char* part : {"vmsms", "host", "port", "dbname", "/tmp"}) {
            EXPECT_FALSE(has(answer->body, part)) << part << " in " << answer->body;
        }
    }

    gateway->signal(SIGTERM);
    EXPECT_EQ(gateway->wait(15000), 0);
    listener->signal(SIGTERM);
    EXPECT_EQ(listener->wait(10000), 0);
    shown["GET /v1/status"] = report.whole;
    shown["GET /metrics"] = metrics.whole;
    shown["POST /v1/messages"] = posted.whole;
    shown["sms.log"] = file_bytes("sms.log");
    shown["vmsmsd's output"] = file_bytes("vmsmsd.out");
    shown["vmsms-listener's output"] = file_bytes("listener.out");
    for (const auto& [where, text] : shown) {
        EXPECT_FALSE(has(text, password)) << "the password in " << where << ":\n" << text;
    }
}

const SecretCase secret_cases[] = {
    {"key_value_database_up", key_value, Database::Up},
    {"key_value_password_refused", key_value, Database::PasswordRefused},
    {"key_value_database_down", key_value, Database::Down},
    {"uri_user_password_database_up", uri_user_password, Database::Up},
    {"uri_user_password_password_refused", uri_user_password, Database::PasswordRefused},
    {"uri_user_password_database_down", uri_user_password, Database::Down},
    {"uri_password_parameter_database_up", uri_password_parameter, Database::Up},
    {"uri_password_parameter_password_refused", uri_password_parameter, Database::PasswordRefused},
    {"uri_password_parameter_database_down", uri_password_parameter, Database::Down},
    {"unreadable_uri", unreadable_uri, Database::Up},
};

INSTANTIATE_TEST_SUITE_P(Table, SecretsEndToEnd, ::testing::ValuesIn(secret_cases), CaseName());

} // namespace
