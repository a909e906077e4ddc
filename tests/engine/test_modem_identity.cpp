#include "modem/modem_identity.h"
#include "support/engine_fixture.h"
#include "support/param_name.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct IdentityCase {
    const char* name;
    std::string answer;
    std::optional<std::string> identity;
};

void PrintTo(const IdentityCase& c, std::ostream* os) {
    *os << c.name;
}

class IdentityAnswer : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(IdentityAnswer, TakesTheLineOfDigits) {
    EXPECT_EQ(identity_in_answer(GetParam().answer), GetParam().identity);
}

const IdentityCase identity_cases[] = {
    {"imei_bare", "AT+CGSN\r\r\n351234567890124\r\n\r\nOK\r\n", "351234567890124"},
    {"imei_prefixed_quoted", "\r\n+CGSN: \"351234567890124\"\r\n\r\nOK\r\n", "351234567890124"},
    {"iccid", "\r\n+CCID: 89860012345678901234\r\n\r\nOK\r\n", "89860012345678901234"},
    {"iccid_trailing_f", "\r\n^ICCID: 8986001234567890123F\r\n\r\nOK\r\n", "8986001234567890123"},
    {"error", "AT+CCID\r\r\nERROR\r\n", std::nullopt},
    {"too_short", "\r\n1234567890123\r\n\r\nOK\r\n", std::nullopt},
    {"too_long", "\r\n" + std::string(23, '1') + "\r\n\r\nOK\r\n", std::nullopt},
    {"letters", "\r\n35123456789012X\r\n\r\nOK\r\n", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Cases, IdentityAnswer, ::testing::ValuesIn(identity_cases), CaseName());

class ModemIdentity : public EngineFixture {};

TEST_F(ModemIdentity, OnlyASetIdentityIsAskedAndAnotherModemIsNamed) {
    EXPECT_EQ(identity_mismatch(ctx, {}), "");
    EXPECT_EQ(port.written(), "");
    port.script({{"AT+CGSN\r", "AT+CGSN\r\r\n351234567890124\r\n\r\nOK\r\n", 20},
                 {"AT+CCID\r", "AT+CCID\r\r\n+CCID: 89860000000000000001\r\n\r\nOK\r\n", 20}});
    EXPECT_EQ(identity_mismatch(ctx, {"351234567890124", "89860012345678901234"}), "89860000000000000001");
    EXPECT_EQ(port.written(), "AT+CGSN\rAT+CCID\r");
    port.set_silent(true);
    EXPECT_EQ(identity_mismatch(ctx, {"351234567890124", ""}), "no answer");
}

// Only character devices are candidates, each once however many names lead to it, and never the
// COM path's own device.
TEST_F(ModemIdentity, CandidatesAreTheOtherCharDevicesOfTheComFolder) {
    namespace fs = std::filesystem;
    fs::create_directory("ports");
    fs::create_symlink("/dev/null", "ports/modem");
    fs::create_symlink("/dev/zero", "ports/modem2");
    fs::create_symlink("/dev/zero", "ports/modem3");
    put_file("ports/notes.txt", "not a device");
    std::vector<std::string> found = candidate_devices(dir() + "/ports/modem");
    std::vector<std::string> in_folder;
    for (const std::string& device : found) {
        if (device.rfind(dir(), 0) == 0) {
            in_folder.push_back(device);
        }
    }
    ASSERT_EQ(in_folder.size(), 1u);
    EXPECT_TRUE(in_folder[0] == dir() + "/ports/modem2" || in_folder[0] == dir() + "/ports/modem3") << in_folder[0];
}

} // namespace
