#include "support/gateway_test.h"

#include "platform/clock.h"

#include <csignal>

void GatewayTest::SetUp() {
    TempDirTest::SetUp();
    day = spool_date(real_clock().now());
    modem = std::make_unique<SimulatedModem>(dir());
    ASSERT_TRUE(modem->ready()) << modem->output();
    put_file("server.txt", "[SET]\r\nCOM=" + modem->device() + "\r\nRATE=19200\r\n");
}

void GatewayTest::TearDown() {
    if (gateway) {
        gateway->signal(SIGTERM);
        gateway->wait(15000);
    }
    gateway.reset();
    modem.reset();
    TempDirTest::TearDown();
}

void GatewayTest::start_gateway(const std::vector<std::string>& extra) {
    std::vector<std::string> args{"--speed", "0", "--fast-device"};
    args.insert(args.end(), extra.begin(), extra.end());
    gateway = std::make_unique<BackgroundProgram>(built_program("programs/vmsmsd"), args, dir() + "/vmsmsd.out");
}

ProgramResult GatewayTest::send(const std::vector<std::string>& args) {
    return run_program(built_program("programs/vmsms-send"), args);
}
