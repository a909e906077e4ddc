#include "engine/incoming/inbox_pass.h"
#include "engine/incoming/received_once.h"
#include "platform/gbk.h"
#include "store/catalogue_files.h"
#include "store/held_parts.h"
#include "store/received_keys.h"
#include "store/spool.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// One part of a long UCS-2 message from a national sender, as a modem lists it (8-bit reference).
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
    for (char16_t unit : gbk_to_utf16(gbk(utf8)).value_or(u"")) {
        text += hex2(unit >> 8) + hex2(unit);
    }
    std::string header = "050003" + hex2(reference) + hex2(count) + hex2(sequence);
    return "0044" + hex2(static_cast<int>(sender.size())) + "81" + swapped + "0008" + "40506070105023" +
           hex2(static_cast<int>((header.size() + text.size()) / 2)) + header + text;
}

class ReceivedOnce : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        make_catalogue_dir();
        ASSERT_TRUE(catalogue_write("12", gbk("今日价格：100元")));
    }
    // One inbox pass over a modem that lists these PDUs and takes every delete.
    void pass(const std::vector<std::string>& pdus) {
        port.script({{"at+cmgl=4", modem_listing(pdus)}});
        port.standing({{"at+cmgd=", "\r\nOK\r\n"}});
        run_inbox_pass(ctx);
    }
    long received() { return read_counter(day, SpoolDir::Recv); }
    long replies() { return read_counter(day, SpoolDir::New); }
    std::size_t held_files() {
        std::error_code error;
        auto it = std::filesystem::directory_iterator(parts_dir(day), error);
        return error ? 0 : static_cast<std::size_t>(std::distance(it, std::filesystem::directory_iterator{}));
    }
    std::size_t trace_count(const std::string& text) {
        std::string trace = trace_text();
        std::size_t count = 0;
        for (std::size_t at = trace.find(text); at != std::string::npos; at = trace.find(text, at + 1)) {
            ++count;
        }
        return count;
    }
    const std::string query = deliver_pdu("13900000001", "*12");
};

TEST_F(ReceivedOnce, AQueryListedTwiceInOneListingIsStoredAndAnsweredOnceAndDeletedTwice) {
    pass({query, deliver_pdu("13900000002", "hello"), query});
    EXPECT_EQ(received(), 2);
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "*12");
    EXPECT_EQ(file_bytes(day + "/recv/DA2"), "hello");
    EXPECT_EQ(replies(), 1);
    EXPECT_EQ(deletes(), (std::vector<std::string>{"at+cmgd=1\r\n", "at+cmgd=2\r\n", "at+cmgd=3\r\n"}));
    EXPECT_EQ(trace_count("received before: index=3 only deleted"), 1u) << trace_text();
    EXPECT_EQ(trace_count("received before"), 1u);
    std::string log = report("RECV");
    EXPECT_EQ(log.find("*12"), log.rfind("*12")) << log; // logged as received once
    EXPECT_EQ(output.prepended().size(), 2u);            // shown once
}

TEST_F(ReceivedOnce, AMessageListedAgainInALaterPassIsOnlyDeleted) {
    pass({query});
    pass({query});
    pass({query});
    EXPECT_EQ(received(), 1);
    EXPECT_EQ(replies(), 1);
    EXPECT_EQ(deletes().size(), 3u);
    EXPECT_EQ(trace_count("received before: index=1 only deleted"), 2u);
}

TEST_F(ReceivedOnce, TheSameTextAgainFromTheNetworkIsANewMessage) {
    DeliverMessage again;
    again.sender = "13900000001";
    again.text = "*12";
    again.time_stamp = "24050607020500"; // sent again a minute later: another message
    pass({query, build_deliver_pdu(again)});
    EXPECT_EQ(received(), 2);
    EXPECT_EQ(replies(), 2);
}

TEST_F(ReceivedOnce, AMessageStoredYesterdayIsNotStoredToday) {
    const std::string yesterday = "2004-5-5";
    ensure_day_dirs(yesterday);
    ASSERT_EQ(note_record_key(yesterday, 1, received_key(query).value()), KeyNoted::Noted);
    ASSERT_EQ(store_incoming_record(yesterday, "13900000001", "*12", yesterday + " 23:59:00"), 1);
    pass({query});
    EXPECT_EQ(received(), 0);
    EXPECT_EQ(replies(), 0);
    EXPECT_EQ(deletes().size(), 1u);
}

// The engine died after noting the key and before writing the record: the message is still new.
TEST_F(ReceivedOnce, AKeyWhoseRecordWasNeverWrittenDoesNotHoldTheMessageBack) {
    ASSERT_EQ(note_record_key(day, 1, received_key(query).value()), KeyNoted::Noted);
    pass({query});
    EXPECT_EQ(received(), 1);
    EXPECT_EQ(replies(), 1);
    pass({query});
    EXPECT_EQ(received(), 1);
}

TEST_F(ReceivedOnce, AMessageWhoseKeyCannotBeWrittenStaysInTheModem) {
    std::filesystem::create_directories(received_keys_path(day)); // nothing can be appended there
    pass({query});
    EXPECT_EQ(received(), 0);
    EXPECT_TRUE(deletes().empty());
    EXPECT_EQ(trace_count("received key not written"), 1u);
}

TEST_F(ReceivedOnce, LinesThatAreNoReceivedMessageHaveNoKey) {
    EXPECT_TRUE(received_key(query));
    EXPECT_FALSE(received_key(""));
    EXPECT_FALSE(received_key(query.substr(0, 20)));                        // cut before the time stamp
    EXPECT_FALSE(received_key("0011000B813109000000F10000AA05E8329BFD06")); // SMS-SUBMIT
    EXPECT_FALSE(received_key(query + std::string(300, 'A')));              // longer than any user data
    EXPECT_FALSE(received_key(query + "zz"));
    EXPECT_EQ(received_key(query + "\r"), received_key(query));
}

class ReceivedPartsOnce : public ReceivedOnce {
protected:
    void SetUp() override {
        ReceivedOnce::SetUp();
        options.long_messages = true;
    }
};

TEST_F(ReceivedPartsOnce, APartListedAgainWhileHeldOrAfterItsMessageIsDroppedNotHeldAgain) {
    const std::string first = part_pdu("13900000001", 7, 2, 1, "*1");
    const std::string second = part_pdu("13900000001", 7, 2, 2, "2");
    pass({first, first});
    EXPECT_EQ(held_files(), 1u);
    pass({first});
    EXPECT_EQ(held_files(), 1u);
    pass({second});
    EXPECT_EQ(received(), 1);
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "*12");
    EXPECT_EQ(replies(), 1);

    pass({first, second}); // the modem hands both over again
    EXPECT_EQ(received(), 1);
    EXPECT_EQ(replies(), 1);
    EXPECT_EQ(deletes().size(), 6u);
    EXPECT_EQ(trace_count("received before"), 4u); // the copy, the part again, both parts again
    // Nothing waits for the rest of a message stored already: a day later nothing incomplete is stored.
    for (int hour = 0; hour < 25; ++hour) {
        clock.sleep_ms(3600 * 1000);
    }
    pass({});
    EXPECT_EQ(received(), 1);
}

// The engine died after storing a message of parts and before marking it stored: its parts are still
// held, and the next pass releases them without storing the message again.
TEST_F(ReceivedPartsOnce, AMessageStoredBeforeItsPartsWereReleasedIsNotStoredAgain) {
    const std::string first = part_pdu("13900000001", 9, 2, 1, "*1");
    const std::string second = part_pdu("13900000001", 9, 2, 2, "2");
    pass({first, second});
    ASSERT_EQ(received(), 1);
    PartKey key{"13900000001", 9, 2};
    std::filesystem::remove_all(parts_dir(day));
    ASSERT_TRUE(hold_part(day, key, {1, 0, "*1"}));
    ASSERT_TRUE(hold_part(day, key, {2, 0, "2"}));
    pass({});
    EXPECT_EQ(received(), 1);
    EXPECT_EQ(replies(), 1);
    EXPECT_EQ(held_group(day, key).parts.size(), 0u);
}

} // namespace
