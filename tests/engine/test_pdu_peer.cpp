#include "modem/pdu/pdu_codec.h"
#include "modem/pdu/pdu_peer.h"
#include "platform/gbk.h"

#include <gtest/gtest.h>

#include <string>

namespace {

ReceivedMessage decode(const std::string& line) {
    NullTrace trace;
    return decode_received_pdu(line + "\r", trace);
}

DeliverMessage deliver(std::string sender, SenderForm form, bool seven_bit, std::string utf8_text) {
    DeliverMessage message;
    message.sender = std::move(sender);
    message.form = form;
    message.seven_bit = seven_bit;
    message.text = gbk(utf8_text);
    return message;
}

// --- Deliver PDUs -----------------------------------------------------------------------------------------

struct DeliverCase {
    const char* name;
    DeliverMessage message;
    std::string pdu;
};

class BuildDeliver : public ::testing::TestWithParam<DeliverCase> {};

// The expected lines are what gammu writes for the same messages, with the first octet's "no more
// messages" bit set (04) as networks send it.
TEST_P(BuildDeliver, WritesTheLayoutGammuWrites) {
    EXPECT_EQ(build_deliver_pdu(GetParam().message), GetParam().pdu);
}

DeliverMessage concatenated_part() {
    DeliverMessage message = deliver("13900000001", SenderForm::National, true, std::string(153, 'x'));
    message.header = "0003590201"; // concatenated message 0x59, segment 1 of 2
    return message;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuildDeliver,
    ::testing::Values(DeliverCase{"national_7bit", deliver("13900000001", SenderForm::National, true, "hello"),
                                  "0891683108000005F0"
                                  "04"
                                  "0B813109000000F1"
                                  "0000"
                                  "42506070105000"
                                  "05E8329BFD06"},
                      DeliverCase{"international_extension_characters",
                                  deliver("8613900000001", SenderForm::International, true, "hi {x} €@$_"),
                                  "0891683108000005F0"
                                  "04"
                                  "0D91683109000000F1"
                                  "0000"
                                  "42506070105000"
                                  "0EE8346883C26F52A04D19208800"},
                      DeliverCase{"service_number_ucs2", deliver("10086", SenderForm::National, false, "你好€"),
                                  "0891683108000005F0"
                                  "04"
                                  "05810180F6"
                                  "0008"
                                  "42506070105000"
                                  "064F60597D20AC"},
                      DeliverCase{"alphanumeric_sender", deliver("Velmora", SenderForm::Alphanumeric, true, "abc"),
                                  "0891683108000005F0"
                                  "04"
                                  "0DD0D632BBFD968701"
                                  "0000"
                                  "42506070105000"
                                  "0361F118"},
                      DeliverCase{"concatenated_part_fills_160_septets", concatenated_part(),
                                  "0891683108000005F0"
                                  "44"
                                  "0B813109000000F1"
                                  "0000"
                                  "42506070105000"
                                  "A0"
                                  "050003590201"
                                  "F0" +
                                      [] {
                                          std::string body;
                                          for (int i = 0; i < 19; ++i) {
                                              body += "783C1E8FC7E3F1";
                                          }
                                          return body;
                                      }()}),
    [](const auto& info) { return std::string(info.param.name); });

struct RoundTripCase {
    const char* name;
    DeliverMessage message;
    std::string sender;
    std::string utf8_text;
};

class DeliverThenDecode : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(DeliverThenDecode, GatewayReadsWhatTheModemListed) {
    const auto& c = GetParam();
    ReceivedMessage received = decode(build_deliver_pdu(c.message));
    EXPECT_EQ(received.sender, c.sender);
    EXPECT_EQ(received.text, gbk(c.utf8_text));
}

DeliverMessage with_header(DeliverMessage message) {
    message.header = "0003590202";
    return message;
}

DeliverMessage without_service_centre(DeliverMessage message) {
    message.service_centre.clear();
    return message;
}

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeliverThenDecode,
    ::testing::Values(
        RoundTripCase{"query_from_national_sender", deliver("13900000001", SenderForm::National, true, "*101"),
                      "13900000001", "*101"},
        RoundTripCase{"international_86_sender_ucs2",
                      deliver("8613800138000", SenderForm::International, false, "您的验证码是123456。"), "13800138000",
                      "您的验证码是123456。"},
        RoundTripCase{"alphanumeric_sender_with_odd_length", deliver("InfoSMS", SenderForm::Alphanumeric, true, "[ok]"),
                      "InfoSMS", "[ok]"},
        RoundTripCase{"header_skipped_7bit", with_header(deliver("10086", SenderForm::National, true, "part two")),
                      "10086", "part two"},
        RoundTripCase{"header_skipped_ucs2", with_header(deliver("10086", SenderForm::National, false, "第二部分")),
                      "10086", "第二部分"},
        RoundTripCase{"no_service_centre", without_service_centre(deliver("10086", SenderForm::National, true, "@@")),
                      "10086", "@@"},
        // One message holds 160 septets: a long text is cut, never in the middle of an escape pair.
        RoundTripCase{"long_7bit_text_cut_to_160_septets",
                      deliver("10086", SenderForm::National, true, std::string(159, 'a') + "{}"), "10086",
                      std::string(159, 'a')},
        RoundTripCase{"long_ucs2_text_cut_to_70_characters",
                      deliver("10086", SenderForm::National, false, repeated("短信", 40)), "10086",
                      repeated("短信", 35)}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Submit PDUs read back --------------------------------------------------------------------------------

TEST(DecodeSubmit, ReadsTheStandardVariant) {
    Encoded7bit content = encode_7bit("hi {x}");
    SubmitPdu built = build_submit_pdu("13900000001", content.hex, true, content.septets, "", PduVariant::Standard);
    auto message = decode_submit_pdu(built.pdu);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->service_centre, "");
    EXPECT_EQ(message->number, "8613900000001");
    EXPECT_EQ(message->number_type, 0x91);
    EXPECT_EQ(message->coding, 0x00);
    EXPECT_EQ(message->validity, 0xA7);
    EXPECT_EQ(message->user_data_length, 8);
    EXPECT_EQ(message->user_data, content.hex);
    EXPECT_EQ(message->text, "hi {x}");
    EXPECT_EQ(message->tpdu_octets, built.command_length);
}

TEST(DecodeSubmit, ReadsTheSiemensVariant) {
    std::string content = "0001" + encode_ucs2(gbk("你好"));
    SubmitPdu built = build_submit_pdu("139000000012", content, false, 0, "8613800000500", PduVariant::Siemens);
    auto message = decode_submit_pdu(built.pdu);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->service_centre, "8613800000500");
    EXPECT_EQ(message->number, "139000000012");
    EXPECT_EQ(message->number_type, 0x81);
    EXPECT_EQ(message->coding, 0x08);
    EXPECT_EQ(message->user_data_length, 6);
    EXPECT_EQ(message->text, "\x01" + gbk("你好")); // the show-on-screen prefix is unit 0001
    // Siemens phones are told 176 whatever the PDU holds; the real count is there to compare.
    EXPECT_EQ(built.command_length, 176);
    EXPECT_EQ(message->tpdu_octets, static_cast<int>(built.pdu.size() / 2) - 9);
}

TEST(DecodeSubmit, RefusesWhatIsNotAWholeSubmitPdu) {
    std::string good = build_submit_pdu("13900000001", "E8329BFD06", true, 5, "", PduVariant::Standard).pdu;
    ASSERT_TRUE(decode_submit_pdu(good).has_value());
    EXPECT_FALSE(decode_submit_pdu(good.substr(0, good.size() - 2)).has_value()) << "user data cut short";
    EXPECT_FALSE(decode_submit_pdu(good.substr(0, good.size() - 1)).has_value()) << "half an octet";
    std::string lower = good;
    lower.back() = 'a';
    EXPECT_FALSE(decode_submit_pdu(lower).has_value()) << "lower-case digit";
    EXPECT_FALSE(decode_submit_pdu(good + "\x1A").has_value()) << "Ctrl-Z left on";
    EXPECT_FALSE(decode_submit_pdu(build_deliver_pdu(deliver("10086", SenderForm::National, true, "x"))).has_value())
        << "a deliver PDU";
    for (size_t length = 0; length < good.size(); length += 2) {
        EXPECT_FALSE(decode_submit_pdu(good.substr(0, length)).has_value()) << length;
    }
}

} // namespace
