#include "store/modem_pool_settings.h"
#include "store/settings.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class ModemPoolSettingsTest : public TempDirTest {};

std::vector<std::string> names_of(const ModemPoolSettings& pool) {
    std::vector<std::string> names;
    for (const PoolModem& modem : pool.modems) {
        names.push_back(modem.name + "=" + modem.com);
    }
    return names;
}

bool mentions(const ModemPoolSettings& pool, const std::string& part) {
    for (const std::string& problem : pool.problems) {
        if (problem.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST_F(ModemPoolSettingsTest, OneModemIsTheSetSectionAlone) {
    put_file("server.txt", "[SET]\r\nCOM=/dev/ttyUSB0\r\nRATE=115200\r\n");
    ModemPoolSettings pool = read_modem_pool_settings();
    EXPECT_EQ(names_of(pool), (std::vector<std::string>{"MODEM1=/dev/ttyUSB0"}));
    EXPECT_FALSE(pool.pooled());
    EXPECT_TRUE(pool.problems.empty());
}

TEST_F(ModemPoolSettingsTest, OtherModemsComeInTheirOrderWithGapsAllowed) {
    put_file("server.txt", "[SET]\r\nCOM=/dev/a\r\n[MODEM4]\r\nCOM=/dev/d\r\n[modem2]\r\nCOM = /dev/b \r\n");
    ModemPoolSettings pool = read_modem_pool_settings();
    EXPECT_EQ(names_of(pool), (std::vector<std::string>{"MODEM1=/dev/a", "MODEM2=/dev/b", "MODEM4=/dev/d"}));
    EXPECT_TRUE(pool.pooled());
    EXPECT_EQ(pool.modems[1].section, "MODEM2");
}

// Each bad section is left out with its reason; the good ones stay.
TEST_F(ModemPoolSettingsTest, BadModemSectionsAreLeftOutAndSaid) {
    struct Case {
        const char* section;
        const char* reason;
    };
    for (const Case& c :
         {Case{"[MODEM2]\r\nRATE=9600\r\n", "[MODEM2] sets no COM"},
          Case{"[MODEM2]\r\nCOM=/dev/a\r\n", "is another modem's port"},
          Case{"[MODEM2]\r\nCOM=/dev/b\r\nRATE=fast\r\n", "RATE=fast is no number"},
          Case{"[MODEM1]\r\nCOM=/dev/b\r\n", "[MODEM1] is not read"}, Case{"[MODEM9]\r\nCOM=/dev/b\r\n", ""}}) {
        put_file("server.txt", std::string("[SET]\r\nCOM=/dev/a\r\n") + c.section);
        ModemPoolSettings pool = read_modem_pool_settings();
        EXPECT_FALSE(pool.pooled()) << c.section;
        if (*c.reason != '\0') {
            EXPECT_TRUE(mentions(pool, c.reason)) << c.section;
        }
    }
}

TEST_F(ModemPoolSettingsTest, RoutesNameListedModemsOnly) {
    put_file("server.txt",
             "[SET]\r\nCOM=/dev/a\r\n[MODEM2]\r\nCOM=/dev/b\r\n[MODEM3]\r\nCOM=/dev/c\r\n"
             "[ROUTES]\r\n1390=modem2, MODEM3,MODEM2\r\n+44=MODEM1\r\n138=MODEM7\r\n13a=MODEM2\r\n137=\r\n");
    ModemPoolSettings pool = read_modem_pool_settings();
    ASSERT_EQ(pool.routes.size(), 2u);
    const RouteRule* china = pool.routes[0].prefix == "1390" ? &pool.routes[0] : &pool.routes[1];
    EXPECT_EQ(china->modems, (std::vector<std::string>{"MODEM2", "MODEM3"}));
    EXPECT_TRUE(mentions(pool, "MODEM7 is no modem of this gateway"));
    EXPECT_TRUE(mentions(pool, "[ROUTES] 13a"));
    EXPECT_TRUE(mentions(pool, "an empty name"));
}

// An engine of the pool reads its own modem's keys from its section, without SET's values; the other
// keys and the other threads are untouched.
TEST_F(ModemPoolSettingsTest, AModemSectionScopeServesThatModemsKeysOnThisThread) {
    put_file("server.txt", "[SET]\r\nCOM=/dev/a\r\nPIN=1111\r\nCOUNTRY=44\r\n[MODEM2]\r\nCOM=/dev/b\r\nSMSC=+4470\r\n");
    {
        ModemSectionScope scope("MODEM2");
        EXPECT_EQ(read_setting(settings::com), "/dev/b");
        EXPECT_EQ(read_setting(settings::smsc), "+4470");
        EXPECT_EQ(read_setting(settings::pin), "");
        EXPECT_EQ(read_setting(settings::country), "44");
        std::string other;
        std::thread([&] { other = read_setting(settings::com); }).join();
        EXPECT_EQ(other, "/dev/a");
    }
    EXPECT_EQ(read_setting(settings::com), "/dev/a");
    ModemSectionScope first("SET");
    EXPECT_EQ(read_setting(settings::pin), "1111");
}

} // namespace
