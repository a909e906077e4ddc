// International recipients and senders with the real vmsmsd against the simulated modem, in real time.
#include "platform/gbk.h"
#include "support/gateway_test.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class InternationalNumbers : public GatewayTest {
protected:
    // Each submission's type of address and digits, as the modem read them.
    std::vector<std::string> destinations() { return lines_of(ctl({"destinations"}).out); }
    void stop_gateway() {
        gateway->signal(SIGTERM);
        EXPECT_EQ(gateway->wait(15000), 0);
    }
};

struct DeviceCase {
    const char* name;
    std::vector<std::string> modem_flags;
    std::vector<std::string> flags;
    const char* national; // how the national recipient 13900000001 goes out
};

void PrintTo(const DeviceCase& c, std::ostream* os) {
    *os << c.name;
}

class InternationalRecipients : public InternationalNumbers, public ::testing::WithParamInterface<DeviceCase> {};

// An international recipient goes out with its own digits as an international number; a national one
// exactly as before (with 86 before it in the standard PDU, as it stands in the Siemens one).
TEST_P(InternationalRecipients, GoOutAsInternationalNumbersBesideANationalOne) {
    modem.reset();
    modem = std::make_unique<SimulatedModem>(dir(), GetParam().modem_flags);
    ASSERT_TRUE(modem->ready()) << modem->output();
    ProgramResult queued = send({"--to", "+447700900123", "--to", "+8613900000001", "--to", "13900000001", "hi"});
    ASSERT_EQ(queued.exit_code, 0) << queued.err;
    start_gateway(GetParam().flags);
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "1"; }, 60000))
        << file_bytes("vmsmsd.out") << file_bytes("sms.log");
    stop_gateway();
    EXPECT_EQ(destinations(), (std::vector<std::string>{"sent ref=1 toa=145 digits=447700900123",
                                                        "sent ref=2 toa=145 digits=8613900000001",
                                                        std::string("sent ref=3 ") + GetParam().national}))
        << modem->sent_text();
    std::string succ = file_bytes("log/SUCC" + day + ".log");
    EXPECT_TRUE(has(succ, "1.0,") && has(succ, "   +447700900123    hi")) << succ;
    EXPECT_TRUE(has(succ, "1.2,") && has(succ, "   13900000001    hi")) << succ;
    EXPECT_EQ(file_bytes("log/FAIL" + day + ".log"), "");
}

const DeviceCase devices[] = {
    {"standard", {}, {"--responsive"}, "toa=145 digits=8613900000001"},
    // These phones announce a fixed length, which the simulated modem takes only when told to.
    {"siemens", {"--ignore-length"}, {"--responsive", "--device", "siemens"}, "toa=129 digits=13900000001"},
};

INSTANTIATE_TEST_SUITE_P(Devices, InternationalRecipients, ::testing::ValuesIn(devices),
                         [](const auto& info) { return std::string(info.param.name); });

// The network names the recipient of a report in international form; it is matched to the record as
// it was typed, national or international.
TEST_F(InternationalNumbers, DeliveryReportsInInternationalFormMatchTheRecords) {
    modem.reset();
    modem = std::make_unique<SimulatedModem>(dir(), std::vector<std::string>{"--report-delay", "100"});
    ASSERT_TRUE(modem->ready()) << modem->output();
    ASSERT_EQ(send({"--to", "13900000001", "--to", "+447700900123", "report"}).exit_code, 0);
    start_gateway({"--responsive", "--reports"});
    std::string log_path = "log/DLVR" + day + ".log";
    ASSERT_TRUE(eventually([&] { return lines_of(file_bytes(log_path)).size() >= 2; }, 30000))
        << file_bytes(log_path) << file_bytes("sms.log");
    stop_gateway();
    std::vector<std::string> reports = lines_of(file_bytes(log_path));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].rfind("1.0,", 0), 0u) << reports[0];
    EXPECT_TRUE(has(reports[0], "   13900000001    delivered (status 0)")) << reports[0];
    EXPECT_EQ(reports[1].rfind("1.1,", 0), 0u) << reports[1];
    EXPECT_TRUE(has(reports[1], "   +447700900123    delivered (status 0)")) << reports[1];
}

// Queries from members listed in another form than the one the network uses: the 86 sender is stored
// and answered as the national number, the British one in international form; a sender the members
// file does not list in any form gets nothing.
TEST_F(InternationalNumbers, QueriesFromInternationalSendersAreAnsweredAtTheirNumbers) {
    std::filesystem::create_directory("query");
    put_file("query/query", "[query]\r\n12=" + gbk("今日价格：100元") + "\r\n");
    put_file("huiyuan.txt", "[SET]\r\n+8613900000001=1\r\n447700900123=1\r\n");
    for (const char* from : {"+8613900000001", "+447700900123", "+8613900000002"}) {
        ASSERT_EQ(ctl({"deliver", "--from", from, "--text", "*12"}).exit_code, 0);
    }
    start_gateway({"--responsive", "--members-only"});
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "2"; }, 60000))
        << file_bytes("vmsmsd.out") << file_bytes("sms.log");
    stop_gateway();
    EXPECT_EQ(file_bytes(day + "/recv/R1"), "13900000001");
    EXPECT_EQ(file_bytes(day + "/recv/R2"), "+447700900123");
    EXPECT_EQ(file_bytes(day + "/recv/R3"), "13900000002");
    EXPECT_EQ(file_bytes(day + "/new/acc"), "2");
    EXPECT_EQ(file_bytes(day + "/new/R1"), "13900000001");
    EXPECT_EQ(file_bytes(day + "/new/R2"), "+447700900123");
    EXPECT_EQ(destinations(), (std::vector<std::string>{"sent ref=1 toa=145 digits=8613900000001",
                                                        "sent ref=2 toa=145 digits=447700900123"}))
        << modem->sent_text();
}

} // namespace
