#include "store/settings.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class Settings : public TempDirTest {};

// The entries the window, the device test and the engine read, with the default each must give.
struct DefaultCase {
    const char* name;
    Setting setting;
    const char* expected;
};

void PrintTo(const DefaultCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsDefault : public TempDirTest, public ::testing::WithParamInterface<DefaultCase> {};

TEST_P(SettingsDefault, MissingFileGivesTheDefaultAndCreatesNothing) {
    const DefaultCase& c = GetParam();
    EXPECT_EQ(read_setting(c.setting), c.expected);
    EXPECT_FALSE(exists(settings_file));
}

TEST_P(SettingsDefault, MissingKeyGivesTheDefault) {
    const DefaultCase& c = GetParam();
    put_file(settings_file, "[SET]\r\nOTHER=1\r\n");
    EXPECT_EQ(read_setting(c.setting), c.expected);
}

// The window and the engine read the port through the same entry.
const DefaultCase default_cases[] = {
    {"window_com", settings::com, "COM1"},
    {"engine_com", settings::com, "COM1"},
    {"window_rate", settings::shown_rate, "19200"},
    {"engine_rate", settings::rate, "19200"},
    {"window_smscode", settings::shown_smscode, "88888888"},
    {"engine_smscode", settings::smscode, "0000000000"},
    {"window_time1", settings::time1, "7:01"},
    {"window_time2", settings::time2, "21:00"},
    {"window_mtype", settings::mtype, "2"},
};

INSTANTIATE_TEST_SUITE_P(Table, SettingsDefault, ::testing::ValuesIn(default_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Settings, EngineSeesAtMostFifteenCharactersOfTheCentreNumber) {
    put_file(settings_file, "[SET]\r\nSMSCODE=86138000005001234567\r\n");
    EXPECT_EQ(read_setting(settings::smscode), "861380000050012");
    EXPECT_EQ(read_setting(settings::shown_smscode), "8613800000500123456");
}

TEST_F(Settings, EmptyPortIsStoredAsPresentKeyAndReadsBackEmpty) {
    ASSERT_TRUE(write_setting(settings::com, std::string("COM1")));
    ASSERT_TRUE(write_setting(settings::com, std::string()));
    EXPECT_EQ(file_bytes(settings_file), "[SET]\r\nCOM=\r\n");
    EXPECT_EQ(read_setting(settings::com), "");
}

TEST_F(Settings, SavingTheTabWritesKeysInOrderAndRewritesThemInPlace) {
    // The device type is written at start-up before the operator first saves.
    ASSERT_TRUE(write_setting(settings::mtype, std::string("2")));
    for (const char* com : {"COM3", "/dev/ttyUSB0"}) {
        ASSERT_TRUE(write_setting(settings::com, std::string(com)));
        ASSERT_TRUE(write_setting(settings::shown_rate, std::string("9600")));
        ASSERT_TRUE(write_setting(settings::shown_smscode, std::string("8613800571500")));
        ASSERT_TRUE(write_setting(settings::time1, std::string("8:01")));
        ASSERT_TRUE(write_setting(settings::time2, std::string("21:00")));
    }
    ASSERT_TRUE(write_setting(settings::mtype, std::string("1")));
    EXPECT_EQ(file_bytes(settings_file), "[SET]\r\n"
                                         "MTYPE=1\r\n"
                                         "COM=/dev/ttyUSB0\r\n"
                                         "RATE=9600\r\n"
                                         "SMSCODE=8613800571500\r\n"
                                         "TIME1=8:01\r\n"
                                         "TIME2=21:00\r\n");
    EXPECT_EQ(read_setting(settings::com), "/dev/ttyUSB0");
    EXPECT_EQ(read_setting(settings::time1), "8:01");
}

TEST_F(Settings, HandEditedFileIsReadWithProfileRules) {
    put_file(settings_file, "[set]\r\n  com = COM2 \r\nRate=\"4800\"\r\n");
    EXPECT_EQ(read_setting(settings::com), "COM2");
    EXPECT_EQ(read_setting(settings::rate), "4800");
}

TEST_F(Settings, ValuesAreCutToTheReadersBuffer) {
    put_file(settings_file, "[SET]\r\nRATE=1152000000\r\nCOM=/dev/serial/by-id/usb-modem\r\n");
    EXPECT_EQ(read_setting(settings::rate), "115200000");
    // The INI operation beneath cuts to whatever buffer its caller gives.
    EXPECT_EQ(read_setting("COM", "COM1", 20), "/dev/serial/by-id/u");
}

struct NumberCase {
    const char* name;
    const char* text;
    long expected;
};

void PrintTo(const NumberCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(SettingsNumber, RateAndDeviceTypeTakeTheLeadingDecimalNumber) {
    const NumberCase& c = GetParam();
    EXPECT_EQ(rate_number(c.text), static_cast<std::uint32_t>(c.expected));
    EXPECT_EQ(mtype_number(c.text), c.expected);
}

const NumberCase number_cases[] = {
    {"digits", "19200", 19200},
    {"digits_then_letters", "9600abc", 9600},
    {"letters_alone", "abc", 0},
    {"empty", "", 0},
    {"leading_blanks", "  4800", 4800},
    {"plus_sign", "+2", 2},
    {"digits_after_letters_ignored", "x9600", 0},
    {"blank_inside_stops", "96 00", 96},
    {"device_type_out_of_range", "7", 7},
};

INSTANTIATE_TEST_SUITE_P(Table, SettingsNumber, ::testing::ValuesIn(number_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A save of any setting (the settings tab writes through write_setting) leaves server.txt readable by its
// owner alone once its DSN holds a password, however the password is written; without one the file
// keeps its mode.
struct PrivacyCase {
    const char* name;
    const char* db_section;
    mode_t before;
    mode_t after;
};

class SettingsPrivacy : public TempDirTest, public ::testing::WithParamInterface<PrivacyCase> {};

TEST_P(SettingsPrivacy, ASaveLeavesAPasswordToItsOwner) {
    const PrivacyCase& c = GetParam();
    put_file(settings_file, std::string("[SET]\r\nCOM=COM1\r\n") + c.db_section);
    ASSERT_EQ(::chmod(settings_file, c.before), 0);
    ASSERT_TRUE(write_setting(settings::com, std::string("/dev/ttyUSB0")));
    struct stat st {};
    ASSERT_EQ(::stat(settings_file, &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.after);
    EXPECT_EQ(file_bytes(settings_file), std::string("[SET]\r\nCOM=/dev/ttyUSB0\r\n") + c.db_section);
}

const PrivacyCase privacy_cases[] = {
    {"uri_password", "[DB]\r\nDSN=postgresql://gw:secret@db/vmsms\r\n", 0644, 0600},
    {"uri_password_parameter", "[DB]\r\nDSN=postgresql://gw@db/vmsms?password=secret\r\n", 0644, 0600},
    {"key_value_password", "[DB]\r\nDSN=host=db password=secret\r\n", 0664, 0600},
    {"dsn_libpq_cannot_read", "[DB]\r\nDSN=postgresql://gw:secret@[::1/vmsms\r\n", 0644, 0600},
    {"dsn_without_password", "[DB]\r\nDSN=postgresql://gw@db/vmsms\r\n", 0640, 0640},
    {"private_file_without_password", "[DB]\r\nDSN=postgresql://gw@db/vmsms\r\n", 0600, 0600},
    {"no_database", "", 0644, 0644},
};

INSTANTIATE_TEST_SUITE_P(Table, SettingsPrivacy, ::testing::ValuesIn(privacy_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsNumberSign, NegativeRateWrapsAsTheDriverWouldSeeIt) {
    EXPECT_EQ(rate_number("-1"), 4294967295u);
    EXPECT_EQ(mtype_number("-3"), -3);
}

} // namespace
