// The device test's steps against a scripted port in virtual time: the verdict each reply earns and the
// waits around the exchange.
#include "modem/device_test.h"

#include "modem/serial_link.h"
#include "platform/gbk.h"
#include "support/borrowed_port.h"
#include "support/fake_serial_port.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

struct VerdictCase {
    const char* name;
    std::string answer;  // the modem's answer to "at"
    std::string verdict; // UTF-8
    std::string csq;     // the answer to AT+CSQ (none: silent)
    std::string creg;    // the answer to AT+CREG?
    std::string network; // UTF-8 words shown after the verdict; empty: the modem is not asked
};

void PrintTo(const VerdictCase& c, std::ostream* os) {
    *os << c.name;
}

class DeviceTestVerdict : public TempDirTest, public ::testing::WithParamInterface<VerdictCase> {};

// The raw reply, then the verdict; a modem that answered OK is asked its signal and registration,
// shown in words before the button's caption comes back.
TEST_P(DeviceTestVerdict, ShowsTheReplyThenTheVerdict) {
    const VerdictCase& c = GetParam();
    VirtualClock clock;
    FakeSerialPort port(&clock);
    std::vector<ModemReply> replies = {{"at\r\n", c.answer}};
    if (!c.csq.empty()) {
        replies.push_back({"AT+CSQ\r", c.csq});
    }
    if (!c.creg.empty()) {
        replies.push_back({"AT+CREG?\r", c.creg});
    }
    port.standing(replies);
    std::vector<DeviceTestStep> steps;
    StopSignal stop;
    run_device_test(
        true, clock_waits(clock),
        [&port](const std::string&) -> std::unique_ptr<SerialPort> { return std::make_unique<BorrowedPort>(port); },
        [&steps](const DeviceTestStep& step) { steps.push_back(step); }, stop);

    using K = DeviceTestStep::Kind;
    const bool asked = !c.network.empty();
    ASSERT_EQ(steps.size(), asked ? 5u : 4u);
    EXPECT_EQ(steps[0].kind, K::ButtonCaption);
    EXPECT_EQ(steps[0].text, gbk(">>参数测试过程中...."));
    EXPECT_EQ(steps[1].kind, K::Message);
    EXPECT_EQ(steps[1].text, c.answer);
    EXPECT_EQ(steps[2].kind, K::Message);
    EXPECT_EQ(steps[2].text, gbk(c.verdict));
    if (asked) {
        EXPECT_EQ(steps[3].kind, K::Message);
        EXPECT_EQ(steps[3].text, gbk(c.network));
        EXPECT_EQ(port.written(), "at\r\nAT+CSQ\rAT+CREG?\r");
    } else {
        EXPECT_EQ(port.written(), "at\r\n");
    }
    EXPECT_EQ(steps.back().kind, K::ButtonCaption);
    EXPECT_EQ(steps.back().text, gbk("设备测试并保存设备参数"));
    // 2000 ms after the purge, 3000 ms after "at", then the read's own time-out; a question the modem
    // leaves unanswered ends after 2 s of silence.
    std::vector<int> sleeps = {2000, 3000, read_timeout_ms(chunk_size)};
    for (const std::string* answer : {&c.csq, &c.creg}) {
        if (asked && answer->empty()) {
            sleeps.insert(sleeps.end(), 8, 250);
        }
    }
    EXPECT_EQ(clock.sleeps(), sleeps);
    EXPECT_TRUE(port.closed());
}

const char* const device_ok = "设备正常，设备参数保存正确，可以正常工作!";
const char* const no_ok = "!!! 数据线没有准备好,或设置错误!";

INSTANTIATE_TEST_SUITE_P(
    Replies, DeviceTestVerdict,
    ::testing::Values(
        VerdictCase{"EchoAndOk", "at\r\r\nOK\r\n", device_ok, "\r\n+CSQ: 25,99\r\n\r\nOK\r\n",
                    "\r\n+CREG: 0,1\r\n\r\nOK\r\n", "信号强度：25（-63 dBm，很好）\r\n网络注册：已注册，本地网络"},
        VerdictCase{"WeakAndSearching", "at\r\r\nOK\r\n", device_ok, "AT+CSQ\r\r\n+CSQ: 7,0\r\n\r\nOK\r\n",
                    "AT+CREG?\r\r\n+CREG: 2,2,\"1A2B\",\"00C3\"\r\n\r\nOK\r\n",
                    "信号强度：7（-99 dBm，弱）\r\n网络注册：未注册，正在搜索网络"},
        VerdictCase{"UnknownSignalRoaming", "at\r\r\nOK\r\n", device_ok, "\r\n+CSQ: 99,99\r\n\r\nOK\r\n",
                    "\r\n+CREG: 0,5\r\n\r\nOK\r\n", "信号强度：99（未知）\r\n网络注册：已注册，漫游"},
        VerdictCase{"QuestionsRefused", "at\r\r\nBOOKED\r\n", device_ok, "\r\nERROR\r\n", "\r\n+CME ERROR: 10\r\n",
                    "信号强度：未能读取（AT+CSQ）\r\n网络注册：未能读取（AT+CREG?）"},
        VerdictCase{"QuestionsUnanswered", "at\r\r\nOK\r\n", device_ok, "", "",
                    "信号强度：未能读取（AT+CSQ）\r\n网络注册：未能读取（AT+CREG?）"},
        VerdictCase{"Error", "at\r\r\nERROR\r\n", no_ok, "", "", ""},
        VerdictCase{"SilentModem", "", no_ok, "", "", ""}),
    [](const ::testing::TestParamInfo<VerdictCase>& info) { return std::string(info.param.name); });

// The clock's waits: a stop requested before a wait ends it at once, for the real clock as for a
// virtual one, which still records it.
TEST(DeviceTestWaits, StopEndsTheWait) {
    StopSignal stop;
    stop.request();
    EXPECT_FALSE(clock_waits(real_clock())(24 * 60 * 60 * 1000, stop));
    VirtualClock clock;
    EXPECT_FALSE(clock_waits(clock)(2000, stop));
    EXPECT_EQ(clock.sleeps(), std::vector<int>({2000}));
    stop.reset();
    EXPECT_TRUE(clock_waits(clock)(3000, stop));
}

} // namespace
