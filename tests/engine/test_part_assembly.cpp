#include "engine/incoming/inbox_pass.h"
#include "platform/gbk.h"
#include "store/held_parts.h"
#include "store/spool.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// One part of a long UCS-2 message from a national sender, as a modem lists it: SMS-DELIVER with the
// header indicator, and an 8-bit-reference concatenation header before the text.
std::string part_pdu(const std::string& sender, int reference, int count, int sequence, const std::string& utf8) {
    auto hex2 = [](int v) {
        char text[3];
        std::snprintf(text, sizeof text, "%02X", v & 0xFF);
        return std::string(text);
    };
    std::string digits = sender + (sender.size() % 2 ? "F" : "");
    std::string swapped;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        swapped += std::string{digits[i + 1], digits[i]};
    }
    std::string text;
    std::u16string units = gbk_to_utf16(gbk(utf8)).value_or(u"");
    for (char16_t unit : units) {
        text += hex2(unit >> 8) + hex2(unit);
    }
    std::string header = "050003" + hex2(reference) + hex2(count) + hex2(sequence);
    return "0044" + hex2(static_cast<int>(sender.size())) + "81" + swapped + "0008" + "40506070105023" +
           hex2(static_cast<int>((header.size() + text.size()) / 2)) + header + text;
}

class PartAssembly : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        options.long_messages = true;
    }
    // One inbox pass over a modem that lists these PDUs and takes every delete.
    void pass(const std::vector<std::string>& pdus) {
        port.script({{"at+cmgl=4", modem_listing(pdus)}});
        port.standing({{"at+cmgd=", "\r\nOK\r\n"}});
        run_inbox_pass(ctx);
    }
    std::size_t held_files() {
        std::error_code error;
        auto it = std::filesystem::directory_iterator(parts_dir(day), error);
        return error ? 0 : static_cast<std::size_t>(std::distance(it, std::filesystem::directory_iterator{}));
    }
    void wait_hours(int hours) {
        for (int i = 0; i < hours; ++i) {
            clock.sleep_ms(3600 * 1000);
        }
    }
};

TEST_F(PartAssembly, PartsInAnyOrderBecomeOneRecordWhenTheLastArrives) {
    pass({part_pdu("13900000001", 7, 3, 2, "第二"), part_pdu("13900000001", 7, 3, 3, "第三")});
    EXPECT_EQ(read_counter(day, SpoolDir::Recv), 0); // nothing stored yet
    EXPECT_EQ(deletes().size(), 2u);                 // but both left the modem
    EXPECT_EQ(held_files(), 2u);                     // held on disk
    EXPECT_EQ(report("RECV"), "");
    pass({part_pdu("13900000001", 7, 3, 1, "第一")});
    EXPECT_EQ(read_counter(day, SpoolDir::Recv), 1);
    EXPECT_EQ(file_bytes(day + "/recv/R1"), "13900000001");
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), gbk("第一第二第三"));
    EXPECT_NE(report("RECV").find(gbk("13900000001   第一第二第三")), std::string::npos);
    EXPECT_EQ(held_files(), 1u); // the marker that remembers the message was stored
}

TEST_F(PartAssembly, APartThatComesTwiceIsStoredOnce) {
    pass({part_pdu("13900000001", 9, 2, 1, "甲"), part_pdu("13900000001", 9, 2, 1, "甲"),
          part_pdu("13900000001", 9, 2, 2, "乙")});
    EXPECT_EQ(read_counter(day, SpoolDir::Recv), 1);
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), gbk("甲乙"));
    pass({part_pdu("13900000001", 9, 2, 2, "乙")}); // the network delivers a part again later
    EXPECT_EQ(read_counter(day, SpoolDir::Recv), 1);
    EXPECT_EQ(held_files(), 1u);
}

TEST_F(PartAssembly, MessagesFromTwoSendersWithOneReferenceStayApart) {
    pass({part_pdu("13900000001", 5, 2, 1, "A1"), part_pdu("13900000002", 5, 2, 1, "B1"),
          part_pdu("13900000002", 5, 2, 2, "B2"), part_pdu("13900000001", 5, 2, 2, "A2")});
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "B1B2");
    EXPECT_EQ(file_bytes(day + "/recv/DA2"), "A1A2");
}

TEST_F(PartAssembly, AQuerySplitOverPartsIsAnsweredOnceWhenComplete) {
    std::filesystem::create_directory("query");
    put_file("query/query", "[query]\r\n000000=222222\r\nP1=" + gbk("价格") + "\r\n");
    pass({part_pdu("13900000001", 3, 2, 1, "*")});
    EXPECT_EQ(read_counter(day, SpoolDir::New), 0);
    pass({part_pdu("13900000001", 3, 2, 2, "P1")});
    EXPECT_EQ(read_counter(day, SpoolDir::New), 1);
    EXPECT_EQ(file_bytes(day + "/new/DA1"), gbk("价格"));
    pass({});
    EXPECT_EQ(read_counter(day, SpoolDir::New), 1);
}

TEST_F(PartAssembly, AMessageMissingAPartIsStoredAsItIsAfterADayAndNotAnswered) {
    std::filesystem::create_directory("query");
    put_file("query/query", "[query]\r\n000000=222222\r\nP1=x\r\n");
    pass({part_pdu("13900000001", 4, 3, 1, "*P"), part_pdu("13900000001", 4, 3, 3, "1")});
    wait_hours(23);
    pass({});
    EXPECT_EQ(read_counter(day, SpoolDir::Recv), 0);
    wait_hours(1);
    pass({});
    EXPECT_EQ(read_counter(day, SpoolDir::Recv), 1);
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), gbk("【不完整：收到2/3条】*P1"));
    EXPECT_EQ(read_counter(day, SpoolDir::New), 0); // an incomplete query is not answered
}

TEST_F(PartAssembly, PartsHeldBeforeARestartAreFoundByTheNextEngine) {
    pass({part_pdu("13900000001", 8, 2, 1, "前")});
    // A new engine (a restart): only the disk carries the first part over.
    EngineLogs fresh_logs;
    fresh_logs.open(day, "/dev/ttyS0");
    EngineContext restarted{link, clock, pacer, options, output, fresh_logs, {}};
    restarted.state.spool_date = day;
    port.script({{"at+cmgl=4", modem_listing({part_pdu("13900000001", 8, 2, 2, "后")})}});
    run_inbox_pass(restarted);
    fresh_logs.close();
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), gbk("前后"));
}

TEST_F(PartAssembly, WithTheOptionOffEveryPartIsARecordOfItsOwn) {
    options.long_messages = false;
    pass({part_pdu("13900000001", 7, 2, 1, "甲"), part_pdu("13900000001", 7, 2, 2, "乙")});
    EXPECT_EQ(read_counter(day, SpoolDir::Recv), 2);
    EXPECT_EQ(held_files(), 0u);
}

} // namespace
