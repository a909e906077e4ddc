#pragma once

#include "support/background_program.h"
#include "support/run_program.h"
#include "support/simulated_modem.h"
#include "support/temp_dir.h"

#include <memory>
#include <string>
#include <vector>

// vmsmsd against the simulated modem, in real time, in a temporary working directory whose server.txt
// names the modem's link. The gateway is stopped with SIGTERM when the test ends.
class GatewayTest : public TempDirTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts vmsmsd at speed 0 with the fast-device waits, and `extra` flags; its output goes to vmsmsd.out.
    void start_gateway(const std::vector<std::string>& extra = {});
    ProgramResult ctl(const std::vector<std::string>& args) { return modem->ctl(args); }
    ProgramResult send(const std::vector<std::string>& args);
    bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

    std::string day; // today's spool date
    std::unique_ptr<SimulatedModem> modem;
    std::unique_ptr<BackgroundProgram> gateway;
};
