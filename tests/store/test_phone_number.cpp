#include "store/phone_number.h"
#include "store/settings.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct CanonicalCase {
    const char* name;
    std::string number;
    const char* country;
    std::optional<std::string> canonical;
};

void PrintTo(const CanonicalCase& c, std::ostream* os) {
    *os << c.name;
}

class CanonicalNumber : public ::testing::TestWithParam<CanonicalCase> {};

TEST_P(CanonicalNumber, PutsEveryFormOfANumberIntoOne) {
    const CanonicalCase& c = GetParam();
    EXPECT_EQ(canonical_number(c.number, c.country), c.canonical);
}

const CanonicalCase canonical_cases[] = {
    {"international_86", "+8613900000001", "86", "+8613900000001"},
    {"country_code_without_plus", "8613900000001", "86", "+8613900000001"},
    {"national_86", "13900000001", "86", "+8613900000001"},
    {"service_number", "10086", "86", "+8610086"},
    {"twelve_digits_are_national", "861390000000", "86", "+86861390000000"},
    {"foreign_international", "+447700900123", "86", "+447700900123"},
    {"foreign_without_plus_fifteen_digits", "447700900123456", "86", "+447700900123456"},
    {"one_digit_international", "+1", "86", "+1"},
    {"fifteen_digit_international", "+861390000000123", "86", "+861390000000123"},
    // Another home country: its national numbers take its code, and 86 numbers are foreign.
    {"national_44", "7700900123", "44", "+447700900123"},
    {"international_44_at_home", "+447700900123", "44", "+447700900123"},
    {"international_86_abroad", "+8613900000001", "44", "+8613900000001"},
    {"86_without_plus_abroad", "8613900000001", "44", "+8613900000001"},
    {"three_digit_country", "912345678", "852", "+852912345678"},
    // No number at all.
    {"plus_alone", "+", "86", std::nullopt},
    {"two_plus_signs", "++8613900000001", "86", std::nullopt},
    {"plus_inside", "86+13900000001", "86", std::nullopt},
    {"sixteen_digit_international", "+8613900000001234", "86", std::nullopt},
    {"sixteen_digits", "8613900000001234", "86", std::nullopt},
    {"letters", "+86139abc0001", "86", std::nullopt},
    {"alphanumeric_sender", "Velmora", "86", std::nullopt},
    {"blank_inside", "+86 13900000001", "86", std::nullopt},
    {"line_end", "+8613900000001\r", "86", std::nullopt},
    {"empty", "", "86", std::nullopt},
    {"national_without_a_country", "13900000001", "", std::nullopt},
    {"national_with_a_bad_country", "13900000001", "4a", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Table, CanonicalNumber, ::testing::ValuesIn(canonical_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NumberForms, RecipientFormsAreNationalOrInternational) {
    EXPECT_TRUE(is_national_number("139000000012"));
    EXPECT_FALSE(is_national_number("8613900000001"));
    EXPECT_FALSE(is_national_number("+8613900000001"));
    EXPECT_TRUE(is_international_number("+447700900123"));
    EXPECT_TRUE(is_international_number("+" + std::string(15, '9')));
    EXPECT_FALSE(is_international_number("+" + std::string(16, '9')));
    EXPECT_FALSE(is_international_number("447700900123"));
}

TEST(NumberForms, OneNumberMatchesItselfInEveryForm) {
    for (const char* a : {"+8613900000001", "8613900000001", "13900000001"}) {
        for (const char* b : {"+8613900000001", "8613900000001", "13900000001"}) {
            EXPECT_TRUE(same_number(a, b, "86")) << a << " " << b;
        }
    }
    EXPECT_FALSE(same_number("13900000001", "13900000002", "86"));
    EXPECT_FALSE(same_number("+8613900000001", "13900000001", "44")); // 13900000001 is a British number there
    EXPECT_FALSE(same_number("+85213900000001", "13900000001", "86"));
    EXPECT_FALSE(same_number("abc", "abc", "86"));
}

TEST(NumberForms, HomeNumbersAreStoredNationalOthersInternational) {
    EXPECT_EQ(stored_number("+8613900000001", "86"), "13900000001");
    EXPECT_EQ(stored_number("+447700900123", "86"), "+447700900123");
    EXPECT_EQ(stored_number("+447700900123", "44"), "7700900123");
    EXPECT_EQ(stored_number("+8613900000001", "44"), "+8613900000001");
    EXPECT_EQ(stored_number("+86", "86"), "+86"); // nothing would be left of it
}

TEST(NumberForms, SpellingsCoverTheFormsAFileMayHold) {
    const std::vector<std::string> forms{"13900000001", "8613900000001", "+8613900000001"};
    EXPECT_EQ(number_spellings("13900000001", "86"), forms);
    EXPECT_EQ(number_spellings("+8613900000001", "86"),
              (std::vector<std::string>{"+8613900000001", "13900000001", "8613900000001"}));
    EXPECT_EQ(number_spellings("+447700900123", "86"), (std::vector<std::string>{"+447700900123", "447700900123"}));
    EXPECT_EQ(number_spellings("Velmora", "86"), std::vector<std::string>{"Velmora"});
}

struct CountryCase {
    const char* name;
    const char* server_txt; // nullptr: no file
    const char* country;
};

void PrintTo(const CountryCase& c, std::ostream* os) {
    *os << c.name;
}

class HomeCountry : public TempDirTest, public ::testing::WithParamInterface<CountryCase> {};

TEST_P(HomeCountry, ComesFromServerTxtOrIs86) {
    if (GetParam().server_txt) {
        put_file(settings_file, GetParam().server_txt);
    }
    EXPECT_EQ(home_country(), GetParam().country);
}

const CountryCase countries[] = {
    {"no_file", nullptr, "86"},
    {"no_key", "[SET]\r\nCOM=/dev/ttyS0\r\n", "86"},
    {"set", "[SET]\r\nCOUNTRY=44\r\n", "44"},
    {"with_plus_and_blanks", "[SET]\r\nCOUNTRY= +852 \r\n", "852"},
    {"letters", "[SET]\r\nCOUNTRY=UK\r\n", "86"},
    {"four_digits", "[SET]\r\nCOUNTRY=4444\r\n", "86"},
    {"empty", "[SET]\r\nCOUNTRY=\r\n", "86"},
};

INSTANTIATE_TEST_SUITE_P(Table, HomeCountry, ::testing::ValuesIn(countries),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
