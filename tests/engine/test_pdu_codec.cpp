#include "modem/pdu/pdu_codec.h"
#include "platform/gbk.h"
#include "support/memory_trace.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A received line as the modem lists it: service centre +8613800000500, SMS-DELIVER, the given
// sender field, PID and DCS, time stamp 2024-05-06 07:01:05, then UDL and user data, and the CR.
std::string deliver_line(const std::string& sender_field, const std::string& dcs, const std::string& udl_and_data,
                         const std::string& first_octet = "04") {
    return "0891683108000005F0" + first_octet + sender_field + "00" + dcs + "42506070105000" + udl_and_data + "\r";
}

ReceivedMessage decode(const std::string& line) {
    NullTrace trace;
    return decode_received_pdu(line, trace);
}

// --- The encoders -----------------------------------------------------------------------------------------

struct SevenBitCase {
    const char* name;
    std::string utf8_text;
    std::string hex;
    int septets;
};

class Encode7bit : public ::testing::TestWithParam<SevenBitCase> {};

TEST_P(Encode7bit, PacksTheDefaultAlphabetAndCountsSeptets) {
    const auto& c = GetParam();
    Encoded7bit encoded = encode_7bit(gbk(c.utf8_text));
    EXPECT_EQ(encoded.hex, c.hex);
    EXPECT_EQ(encoded.septets, c.septets);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Encode7bit,
    ::testing::Values(SevenBitCase{"hello", "hello", "E8329BFD06", 5},
                      SevenBitCase{"eight_characters_in_seven_octets", "abcdefgh", "61F1985C369FD1", 8},
                      SevenBitCase{"empty", "", "", 0},
                      // The same user data gammu writes for this text: escapes for { } and the euro sign, '@' as
                      // septet 0, '$' and '_' at their places in the alphabet.
                      SevenBitCase{"extension_and_moved_characters", "hi {x} €@$_", "E8346883C26F52A04D19208800", 14},
                      SevenBitCase{"at_sign_in_the_middle", "a@b", "618018", 3},
                      SevenBitCase{"every_extension_character", "^{}\\[~]|€", "1BCA06B5496D5E1BDEA6B7F16D809B32", 18},
                      SevenBitCase{"backquote_is_not_in_the_alphabet", "`", "3F", 1},
                      SevenBitCase{"chinese_character_becomes_question_mark", "中", "3F", 1},
                      SevenBitCase{"latin_and_greek_letters_gbk_has", "éΔ", "0508", 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Encode7bitBytes, ByteThatIsNotGbkBecomesQuestionMark) {
    Encoded7bit encoded = encode_7bit(std::string("a\xFF", 2));
    EXPECT_EQ(encoded.septets, 2);
    EXPECT_EQ(decode_7bit(encoded.hex, encoded.septets), "a?");
}

TEST(EncodeUcs2, WritesFourDigitsPerUnit) {
    EXPECT_EQ(encode_ucs2(gbk("你好")), "4F60597D");
    EXPECT_EQ(encode_ucs2(gbk("A€你")), "004120AC4F60");
    EXPECT_EQ(encode_ucs2(std::string("\xC4\xE3\xFF", 3)), "4F60003F"); // 你 then a stray byte
}

// --- Semi-octets ------------------------------------------------------------------------------------------

TEST(SemiOctets, SwapPadsOddNumbersAndUnswapRemovesThePad) {
    EXPECT_EQ(swap_semi_octets("13900000001"), "3109000000F1");
    EXPECT_EQ(swap_semi_octets("139000000012"), "310900000021");
    EXPECT_EQ(swap_semi_octets(""), "");
    EXPECT_EQ(unswap_semi_octets("3109000000F1"), "13900000001");
    EXPECT_EQ(unswap_semi_octets("310900000021"), "139000000012");
    EXPECT_EQ(unswap_semi_octets("683109000000F1"), "8613900000001");
}

// --- The submit PDU ---------------------------------------------------------------------------------------

struct SubmitCase {
    const char* name;
    std::string number;
    std::string user_data;
    bool seven_bit;
    int septets;
    std::string smscode;
    PduVariant variant;
    std::string pdu;
    int command_length;
};

class BuildSubmit : public ::testing::TestWithParam<SubmitCase> {};

TEST_P(BuildSubmit, JoinsTheFieldsOfTheVariant) {
    const auto& c = GetParam();
    SubmitPdu built = build_submit_pdu(c.number, c.user_data, c.seven_bit, c.septets, c.smscode, c.variant);
    EXPECT_EQ(built.pdu, c.pdu);
    EXPECT_EQ(built.command_length, c.command_length);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuildSubmit,
    ::testing::Values(
        SubmitCase{"standard_english", "13900000001", "E8329BFD06", true, 5, "8613800000500", PduVariant::Standard,
                   "001100"
                   "0D"
                   "9168"
                   "3109000000F1"
                   "0000A7"
                   "05"
                   "E8329BFD06",
                   20},
        SubmitCase{"siemens_chinese", "13900000001", "4F60597D", false, 0, "8613800000500", PduVariant::Siemens,
                   "089168"
                   "3108000005F0"
                   "1100"
                   "0B"
                   "81"
                   "3109000000F1"
                   "0008A7"
                   "04"
                   "4F60597D",
                   176},
        SubmitCase{"standard_chinese_counts_octets", "13900000001", "00014F60597D", false, 0, "", PduVariant::Standard,
                   "001100"
                   "0D"
                   "9168"
                   "3109000000F1"
                   "000830"
                   "06"
                   "00014F60597D",
                   21},
        SubmitCase{"standard_twelve_digits", "139000000012", "E8329BFD06", true, 5, "", PduVariant::Standard,
                   "001100"
                   "0E"
                   "9168"
                   "310900000021"
                   "0000A7"
                   "05"
                   "E8329BFD06",
                   20},
        SubmitCase{"siemens_twelve_digits", "139000000012", "E8329BFD06", true, 5, "8613800000500", PduVariant::Siemens,
                   "089168"
                   "3108000005F0"
                   "1100"
                   "0C"
                   "81"
                   "310900000021"
                   "0000A7"
                   "05"
                   "E8329BFD06",
                   176},
        SubmitCase{"udl_counts_escape_septets", "13900000001", "1B14", true, 2, "", PduVariant::Standard,
                   "001100"
                   "0D"
                   "9168"
                   "3109000000F1"
                   "0000A7"
                   "02"
                   "1B14",
                   17},
        SubmitCase{"empty_number_keeps_the_country_code", "", "E8329BFD06", true, 5, "", PduVariant::Standard,
                   "001100"
                   "02"
                   "9168"
                   "0000A7"
                   "05"
                   "E8329BFD06",
                   14},
        // A service-centre setting shorter than 11 characters is used whole, and the length octet
        // follows it: type, 86, then the digits.
        SubmitCase{"siemens_default_smscode", "13900000001", "E8329BFD06", true, 5, "0000000000", PduVariant::Siemens,
                   "079168"
                   "0000000000"
                   "1100"
                   "0B"
                   "81"
                   "3109000000F1"
                   "0000A7"
                   "05"
                   "E8329BFD06",
                   176},
        SubmitCase{"siemens_seven_character_smscode", "13900000001", "E8329BFD06", true, 5, "1380000",
                   PduVariant::Siemens,
                   "069168"
                   "310800F0"
                   "1100"
                   "0B"
                   "81"
                   "3109000000F1"
                   "0000A7"
                   "05"
                   "E8329BFD06",
                   176},
        SubmitCase{"siemens_long_smscode_uses_last_eleven", "13900000001", "E8329BFD06", true, 5, "+8613800000500",
                   PduVariant::Siemens,
                   "089168"
                   "3108000005F0"
                   "1100"
                   "0B"
                   "81"
                   "3109000000F1"
                   "0000A7"
                   "05"
                   "E8329BFD06",
                   176},
        // An international recipient goes out with its own digits, type 91, no 86 put before them.
        SubmitCase{"standard_international", "+447700900123", "E8329BFD06", true, 5, "", PduVariant::Standard,
                   "001100"
                   "0C"
                   "91"
                   "447700091032"
                   "0000A7"
                   "05"
                   "E8329BFD06",
                   19},
        SubmitCase{"standard_international_86_as_the_national_number", "+8613900000001", "E8329BFD06", true, 5, "",
                   PduVariant::Standard,
                   "001100"
                   "0D"
                   "91"
                   "683109000000F1"
                   "0000A7"
                   "05"
                   "E8329BFD06",
                   20},
        SubmitCase{"standard_international_ucs2_fifteen_digits", "+861390000000123", "4F60597D", false, 0, "",
                   PduVariant::Standard,
                   "001100"
                   "0F"
                   "91"
                   "68310900000021F3"
                   "000830"
                   "04"
                   "4F60597D",
                   20},
        SubmitCase{"siemens_international", "+447700900123", "E8329BFD06", true, 5, "8613800000500",
                   PduVariant::Siemens,
                   "089168"
                   "3108000005F0"
                   "1100"
                   "0C"
                   "91"
                   "447700091032"
                   "0000A7"
                   "05"
                   "E8329BFD06",
                   176}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Cutting the user data to one message ---------------------------------------------------------------

// A service centre asked for goes in front of the TPDU; the send command's length stays the TPDU's.
TEST(BuildSubmit, AServiceCentreAskedForLeadsThePduAndIsNotCounted) {
    SubmitOptions options;
    options.service_centre = "8613800000500";
    SubmitPdu with = build_submit_pdu("13900000001", "E8329BFD06", true, 5, "", PduVariant::Standard, options);
    SubmitPdu without = build_submit_pdu("13900000001", "E8329BFD06", true, 5, "", PduVariant::Standard);
    EXPECT_EQ(with.pdu, "0891683108000005F0" + without.pdu.substr(2));
    EXPECT_EQ(with.command_length, without.command_length);
    options.service_centre = "447785016005"; // an even count of digits takes no 'F'
    with = build_submit_pdu("13900000001", "E8329BFD06", true, 5, "", PduVariant::Standard, options);
    EXPECT_EQ(with.pdu, "0791447758100650" + without.pdu.substr(2));
}

struct CentreCase {
    const char* name;
    std::string text;
    std::optional<std::string> digits;
};

class ServiceCentre : public ::testing::TestWithParam<CentreCase> {};

TEST_P(ServiceCentre, TakesOnlyAnInternationalNumber) {
    EXPECT_EQ(international_service_centre(GetParam().text), GetParam().digits);
}

INSTANTIATE_TEST_SUITE_P(Cases, ServiceCentre,
                         ::testing::Values(CentreCase{"china", "+8613800000500", "8613800000500"},
                                           CentreCase{"blanks_ignored", " +86 138 0000 0500 ", "8613800000500"},
                                           CentreCase{"fifteen_digits", "+123456789012345", "123456789012345"},
                                           CentreCase{"sixteen_digits", "+1234567890123456", std::nullopt},
                                           CentreCase{"national", "13800000500", std::nullopt},
                                           CentreCase{"plus_alone", "+", std::nullopt},
                                           CentreCase{"plus_twice", "++86138", std::nullopt},
                                           CentreCase{"letters", "+86abc", std::nullopt}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CutUserData, SevenBitKeepsTheSeptetsOfThe140Octets) {
    Encoded7bit long_text = encode_7bit(std::string(200, 'a'));
    UserData cut = cut_user_data(long_text.hex, true, long_text.septets);
    EXPECT_EQ(cut.hex, encode_7bit(std::string(160, 'a')).hex);
    EXPECT_EQ(cut.hex.size(), 280u);
    EXPECT_EQ(cut.septets, 160);
}

TEST(CutUserData, SevenBitNeverKeepsHalfAnEscapePair) {
    // Septet 160 would be the escape of '{', its second half the 161st.
    Encoded7bit long_text = encode_7bit(std::string(159, 'a') + "{b");
    UserData cut = cut_user_data(long_text.hex, true, long_text.septets);
    EXPECT_EQ(cut.septets, 159);
    EXPECT_EQ(cut.hex, encode_7bit(std::string(159, 'a')).hex);
    EXPECT_EQ(decode_7bit(cut.hex, cut.septets), std::string(159, 'a'));

    Encoded7bit pair_fits = encode_7bit(std::string(158, 'a') + "{b");
    UserData kept = cut_user_data(pair_fits.hex, true, pair_fits.septets);
    EXPECT_EQ(kept.septets, 160);
    EXPECT_EQ(decode_7bit(kept.hex, kept.septets), std::string(158, 'a') + "{");
}

TEST(CutUserData, ShortDataIsLeftAlone) {
    EXPECT_EQ(cut_user_data("E8329BFD06", true, 5).hex, "E8329BFD06");
    EXPECT_EQ(cut_user_data("E8329BFD06", true, 5).septets, 5);
    std::string exactly_one_message(280, 'A');
    EXPECT_EQ(cut_user_data(exactly_one_message, false, 0).hex, exactly_one_message);
}

TEST(CutUserData, Ucs2KeepsWholeUnitsAndSurrogatePairs) {
    std::string sixty_nine_units;
    for (int i = 0; i < 69; ++i) {
        sixty_nine_units += "4F60";
    }
    // 71 units (a 71-character catalogue reply): the 70 that fit 140 octets are kept.
    EXPECT_EQ(cut_user_data(sixty_nine_units + "597D" + "597D", false, 0).hex, sixty_nine_units + "597D");
    // The 70th unit opens a surrogate pair: the pair goes whole.
    EXPECT_EQ(cut_user_data(sixty_nine_units + "D83DDE00", false, 0).hex, sixty_nine_units);
}

// --- The user-data decoders -------------------------------------------------------------------------------

struct Decode7bitCase {
    const char* name;
    std::string hex;
    int septets;
    std::string utf8_text;
};

class Decode7bit : public ::testing::TestWithParam<Decode7bitCase> {};

TEST_P(Decode7bit, UnpacksTheDefaultAlphabet) {
    const auto& c = GetParam();
    EXPECT_EQ(decode_7bit(c.hex, c.septets), gbk(c.utf8_text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Decode7bit,
    ::testing::Values(Decode7bitCase{"hello", "E8329BFD06", 5, "hello"},
                      Decode7bitCase{"eight_characters_in_seven_octets", "61F1985C369FD1", 8, "abcdefgh"},
                      // Seven characters in seven octets: the spare bits are not an eighth '@'.
                      Decode7bitCase{"padding_is_not_a_character", "61F1985C369F01", 7, "abcdefg"},
                      Decode7bitCase{"at_sign_does_not_end_the_text", "618018", 3, "a@b"},
                      Decode7bitCase{"extension_characters", "E8346883C26F52A04D19208800", 14, "hi {x} €@$_"},
                      Decode7bitCase{"count_beyond_the_data_stops_at_the_data", "E8329BFD06", 40, "hello"},
                      Decode7bitCase{"letters_that_gbk_has", "0508", 2, "éΔ"},
                      // £, ¥ and Ç are in the alphabet but not in GBK.
                      Decode7bitCase{"letters_that_gbk_lacks", "814102", 3, "???"},
                      Decode7bitCase{"non_hex_characters_read_as_zero", "e8329BFD06", 5, "òdllo"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeUcs2, ReadsUnitsIntoGbk) {
    EXPECT_EQ(decode_ucs2("4F60597D"), gbk("你好"));
    EXPECT_EQ(decode_ucs2("004120AC"), gbk("A€"));
    // Lower-case letters are not hex digits here: they read as '0'.
    EXPECT_EQ(decode_ucs2("4f60597d"), decode_ucs2("40605970"));
    EXPECT_NE(decode_ucs2("4f60597d"), gbk("你好"));
    // A unit GBK cannot hold (a musical symbol, as a surrogate pair) becomes '?' per unit.
    EXPECT_EQ(decode_ucs2("0041D834DD1E0042"), "A??B");
    // A last short group is the number it spells.
    EXPECT_EQ(decode_ucs2("004141"), "AA");
    EXPECT_EQ(decode_ucs2("0041000000420043"), "A");
}

struct DcsCase {
    int dcs;
    PduCoding coding;
};

class CodingOfDcs : public ::testing::TestWithParam<DcsCase> {};

TEST_P(CodingOfDcs, FollowsTheCodingGroups) {
    EXPECT_EQ(coding_of_dcs(GetParam().dcs), GetParam().coding);
}

INSTANTIATE_TEST_SUITE_P(Cases, CodingOfDcs,
                         ::testing::Values(DcsCase{0x00, PduCoding::SevenBit}, DcsCase{0x04, PduCoding::EightBit},
                                           DcsCase{0x08, PduCoding::Ucs2}, DcsCase{0x0C, PduCoding::SevenBit},
                                           DcsCase{0x10, PduCoding::SevenBit}, DcsCase{0x18, PduCoding::Ucs2},
                                           DcsCase{0x24, PduCoding::EightBit}, DcsCase{0x48, PduCoding::Ucs2},
                                           DcsCase{0xC0, PduCoding::SevenBit}, DcsCase{0xE0, PduCoding::Ucs2},
                                           DcsCase{0xF0, PduCoding::SevenBit}, DcsCase{0xF4, PduCoding::EightBit},
                                           DcsCase{0x80, PduCoding::SevenBit}));

// --- Received PDUs ----------------------------------------------------------------------------------------

struct ReceivedCase {
    const char* name;
    std::string line;
    std::string sender;
    std::string utf8_text;
};

class DecodeReceived : public ::testing::TestWithParam<ReceivedCase> {};

TEST_P(DecodeReceived, ReadsSenderAndTextFromTheRealLayout) {
    const auto& c = GetParam();
    ReceivedMessage message = decode(c.line);
    EXPECT_EQ(message.sender, c.sender);
    EXPECT_EQ(message.text, gbk(c.utf8_text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeReceived,
    ::testing::Values(
        ReceivedCase{"international_86_sender_loses_the_country_code",
                     deliver_line("0D91683109000000F1", "08", "044F60597D"), "13900000001", "你好"},
        ReceivedCase{"eleven_digit_sender_with_7bit_text", deliver_line("0B813109000000F1", "00", "05E8329BFD06"),
                     "13900000001", "hello"},
        ReceivedCase{"eleven_digit_sender_with_ucs2_text", deliver_line("0B813109000000F1", "08", "044F60597D"),
                     "13900000001", "你好"},
        ReceivedCase{"international_86_sender_with_7bit_text", deliver_line("0D91683109000000F1", "00", "05E8329BFD06"),
                     "13900000001", "hello"},
        // Some networks mark a +86 number as unknown type; thirteen digits starting with 86 still lose it.
        ReceivedCase{"thirteen_digits_86_of_unknown_type", deliver_line("0D81683109000000F1", "00", "05E8329BFD06"),
                     "13900000001", "hello"},
        ReceivedCase{"five_digit_service_number", deliver_line("05810180F6", "08", "044F60597D"), "10086", "你好"},
        // A reply must go back to it as an international number.
        ReceivedCase{"foreign_international_sender_keeps_its_plus", deliver_line("0C91447700091032", "00", "0178"),
                     "+447700900123", "x"},
        ReceivedCase{"alphanumeric_sender", deliver_line("0DD0D632BBFD968701", "00", "0361F118"), "Velmora", "abc"},
        ReceivedCase{"extension_characters_and_at_sign",
                     deliver_line("0D91683109000000F1", "00", "0EE8346883C26F52A04D19208800"), "13900000001",
                     "hi {x} €@$_"},
        ReceivedCase{"message_class_1_7bit", deliver_line("0B813109000000F1", "F1", "05E8329BFD06"), "13900000001",
                     "hello"},
        ReceivedCase{"eight_bit_data_byte_for_byte", deliver_line("0B813109000000F1", "04", "03414243"), "13900000001",
                     "ABC"},
        // Concatenated segments: the header (length 05, IEI 00, reference 59, segment 1 of 2) is skipped.
        ReceivedCase{"user_data_header_skipped_7bit",
                     deliver_line("0B813109000000F1", "00",
                                  "0C"
                                  "050003590201"
                                  "D06536FB0D",
                                  "44"),
                     "13900000001", "hello"},
        ReceivedCase{"user_data_header_skipped_ucs2",
                     deliver_line("0B813109000000F1", "08",
                                  "0A"
                                  "050003590201"
                                  "4F60597D",
                                  "44"),
                     "13900000001", "你好"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SenderCountryCase {
    const char* name;
    std::string sender_field;
    const char* country;
    std::string stored;
};

void PrintTo(const SenderCountryCase& c, std::ostream* os) {
    *os << c.name;
}

class SenderOfCountry : public ::testing::TestWithParam<SenderCountryCase> {};

// The home country's senders are stored as national numbers, everybody else's in international form.
TEST_P(SenderOfCountry, IsStoredNationalOnlyForTheHomeCountry) {
    const SenderCountryCase& c = GetParam();
    NullTrace trace;
    EXPECT_EQ(decode_received_pdu(deliver_line(c.sender_field, "00", "0178"), trace, c.country).sender, c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SenderOfCountry,
    ::testing::Values(SenderCountryCase{"british_sender_at_home", "0C91447700091032", "44", "7700900123"},
                      SenderCountryCase{"chinese_sender_abroad", "0D91683109000000F1", "44", "+8613900000001"},
                      SenderCountryCase{"chinese_thirteen_digits_of_unknown_type_abroad", "0D81683109000000F1", "44",
                                        "+8613900000001"},
                      SenderCountryCase{"national_sender_abroad", "0B813109000000F1", "44", "13900000001"},
                      SenderCountryCase{"hong_kong_sender_at_home", "0B915892000000F1", "852", "90000001"},
                      SenderCountryCase{"alphanumeric_sender", "0DD0D632BBFD968701", "44", "Velmora"},
                      // Longer than any phone number: the home country's code still goes, anything else stays.
                      SenderCountryCase{"sixteen_digits_at_home", "10916831090000002143", "86", "13900000001234"},
                      SenderCountryCase{"sixteen_digits_abroad", "10914477000910325476", "86", "4477009001234567"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeReceivedLayout, ServiceCentreOfAnyLength) {
    // No service-centre address at all, and a seven-octet one (+85290000000).
    EXPECT_EQ(decode("00040B813109000000F1000042506070105000"
                     "05E8329BFD06\r")
                  .text,
              "hello");
    ReceivedMessage seven = decode("07915892000000F0040B813109000000F1000042506070105000"
                                   "05E8329BFD06\r");
    EXPECT_EQ(seven.sender, "13900000001");
    EXPECT_EQ(seven.text, "hello");
}

TEST(DecodeReceivedLayout, StoredOutgoingMessageIsReadAsSubmit) {
    // at+cmgl=4 lists sent and unsent messages too; they carry a reference and a validity instead of
    // a time stamp.
    ReceivedMessage message = decode("0011000D91683109000000F10000A705E8329BFD06\r");
    EXPECT_EQ(message.sender, "13900000001");
    EXPECT_EQ(message.text, "hello");
}

TEST(DecodeReceivedLayout, LineWithoutCarriageReturnLosesNothing) {
    std::string line = deliver_line("0B813109000000F1", "00", "05E8329BFD06");
    line.pop_back();
    EXPECT_EQ(decode(line).text, "hello");
}

TEST(DecodeReceivedLayout, DamagedLinesGiveWhatTheyHold) {
    // User data cut after three octets: three whole septets.
    EXPECT_EQ(decode(deliver_line("0B813109000000F1", "00", "05E8329B")).text, "hel");
    EXPECT_EQ(decode("").sender, "");
    EXPECT_EQ(decode("").text, "");
    EXPECT_EQ(decode("OK\r").text, "");
    // An absurd service-centre length runs past the end of the line without harm.
    EXPECT_EQ(decode("FF91683108\r").text, "");
}

TEST(DecodeReceivedLayout, EveryPrefixOfALineDecodesWithoutHarm) {
    std::string line = deliver_line("0DD0D632BBFD968701", "08",
                                    "0A"
                                    "050003590201"
                                    "4F60597D",
                                    "44");
    for (size_t length = 0; length <= line.size(); ++length) {
        ReceivedMessage message = decode(line.substr(0, length));
        EXPECT_LE(message.text.size(), gbk("你好").size()) << length;
    }
    EXPECT_EQ(decode(line).text, gbk("你好"));
}

TEST(DecodeReceivedTrace, WritesTheLayoutItRead) {
    MemoryTrace trace;
    std::string line = deliver_line("0D91683109000000F1", "00", "05E8329BFD06");
    ReceivedMessage message = decode_received_pdu(line, trace);
    EXPECT_EQ(message.text, "hello");
    EXPECT_EQ(trace.text(), gbk("手机号=683109000000F1\n") + "NRS=[0D],NRI=58\n" + gbk("内容=E8329BFD06\r\n") +
                                "CodeType =[0000],len=[05]\n" + gbk("CodeType=[0000],内容2=hello\n"));
}

TEST(DecodeReceivedTrace, UserDataStartFollowsTheSender) {
    MemoryTrace trace;
    decode_received_pdu(deliver_line("0B813109000000F1", "08", "044F60597D"), trace);
    EXPECT_TRUE(trace.contains("NRS=[0B],NRI=56\n"));
    EXPECT_TRUE(trace.contains("CodeType =[0008],len=[04]\n"));
}

} // namespace
