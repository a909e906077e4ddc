// The device test's steps against a scripted port in virtual time: the verdict each reply earns and the
// waits around the exchange.
#include "engine/device_test.h"

#include "engine/serial_link.h"
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
};

void PrintTo(const VerdictCase& c, std::ostream* os) {
    *os << c.name;
}

class DeviceTestVerdict : public TempDirTest, public ::testing::WithParamInterface<VerdictCase> {};

TEST_P(DeviceTestVerdict, ShowsTheReplyThenTheVerdict) {
    const VerdictCase& c = GetParam();
    VirtualClock clock;
    FakeSerialPort port(&clock);
    port.standing({{"at\r\n", c.answer}});
    std::vector<DeviceTestStep> steps;
    StopSignal stop;
    run_device_test(
        true, clock_waits(clock),
        [&port](const std::string&) -> std::unique_ptr<SerialPort> { return std::make_unique<BorrowedPort>(port); },
        [&steps](const DeviceTestStep& step) { steps.push_back(step); }, stop);

    using K = DeviceTestStep::Kind;
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].kind, K::ButtonCaption);
    EXPECT_EQ(steps[0].text, gbk(">>参数测试过程中...."));
    EXPECT_EQ(steps[1].kind, K::Message);
    EXPECT_EQ(steps[1].text, c.answer);
    EXPECT_EQ(steps[2].kind, K::Message);
    EXPECT_EQ(steps[2].text, gbk(c.verdict));
    EXPECT_EQ(steps[3].kind, K::ButtonCaption);
    EXPECT_EQ(steps[3].text, gbk("设备测试并保存设备参数"));
    // 2000 ms after the purge, 3000 ms after "at", then the read's own time-out.
    EXPECT_EQ(clock.sleeps(), std::vector<int>({2000, 3000, read_timeout_ms(chunk_size)}));
    EXPECT_TRUE(port.closed());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, DeviceTestVerdict,
    ::testing::Values(VerdictCase{"EchoAndOk", "at\r\r\nOK\r\n", "设备正常，设备参数保存正确，可以正常工作!"},
                      VerdictCase{"Error", "at\r\r\nERROR\r\n", "!!! 数据线没有准备好,或设置错误!"},
                      VerdictCase{"OkAnywhereCounts", "at\r\r\nBOOKED\r\n",
                                  "设备正常，设备参数保存正确，可以正常工作!"},
                      VerdictCase{"SilentModem", "", "!!! 数据线没有准备好,或设置错误!"}),
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
