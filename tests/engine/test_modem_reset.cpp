#include "modem/modem_reset.h"
#include "platform/gbk.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

namespace {

class ModemReset : public EngineFixture {};

// Only reopenings whose port opened count; the third in a row sends AT+CFUN=1,1 and leaves the modem
// to boot; a port that is not there (the modem booting) neither counts nor breaks the row.
TEST_F(ModemReset, TheThirdSilentReopeningInARowRebootsTheModem) {
    SilentReopens silent;
    after_silent_reopen(ctx, true, silent);
    after_silent_reopen(ctx, false, silent);
    after_silent_reopen(ctx, true, silent);
    EXPECT_EQ(port.written(), "");
    EXPECT_EQ(clock.elapsed_ms(), 0);
    after_silent_reopen(ctx, true, silent);
    EXPECT_EQ(port.written(), "AT+CFUN=1,1\r");
    EXPECT_EQ(clock.elapsed_ms(), reset_boot_ms);
    EXPECT_TRUE(silent.soft_reset_done);
    EXPECT_EQ(silent.in_a_row, 0);
    EXPECT_NE(output.monitor().find("AT+CFUN=1,1"), std::string::npos);
    EXPECT_NE(trace_text().find("reset with AT+CFUN=1,1 on /dev/ttyS0"), std::string::npos) << trace_text();
}

// Without USBRESET the modem is rebooted again; with it, the next escalation goes to the USB
// subsystem (which a device that is no USB device refuses, and that is said).
TEST_F(ModemReset, AfterARebootThatDidNotHelpUsbResetIsTriedOnlyWhenSet) {
    SilentReopens silent;
    for (int i = 0; i < 2 * silent_reopens_before_reset; ++i) {
        after_silent_reopen(ctx, true, silent);
    }
    EXPECT_EQ(port.written(), "AT+CFUN=1,1\rAT+CFUN=1,1\r");

    put_file("server.txt", "[SET]\r\nUSBRESET=1\r\n");
    for (int i = 0; i < silent_reopens_before_reset; ++i) {
        after_silent_reopen(ctx, true, silent);
    }
    EXPECT_EQ(port.written(), "AT+CFUN=1,1\rAT+CFUN=1,1\r"); // nothing more written to the port
    EXPECT_NE(output.monitor().find(gbk("USB重置失败")), std::string::npos) << output.monitor();
    EXPECT_FALSE(silent.soft_reset_done);
    EXPECT_EQ(clock.elapsed_ms(), 3 * reset_boot_ms);
}

} // namespace
