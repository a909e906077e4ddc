#include "listener/token_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class TokenFileTest : public TempDirTest {};

TEST_F(TokenFileTest, ANewTokenMatchesOnlyItselfAndTheFileIsTheOwnersAlone) {
    std::string problem;
    std::optional<std::string> crm = add_new_token(token_file_name, "crm", problem);
    ASSERT_TRUE(crm) << problem;
    std::optional<std::string> billing = add_new_token(token_file_name, "billing", problem);
    ASSERT_TRUE(billing) << problem;
    EXPECT_EQ(crm->size(), 64u);
    EXPECT_NE(*crm, *billing);

    TokenFile file = read_token_file(token_file_name);
    ASSERT_EQ(file.status, TokenFile::Status::Read) << file.problem;
    EXPECT_EQ(file.mode & 0777, 0600u);
    EXPECT_EQ(match_token(file.entries, *crm), "crm");
    EXPECT_EQ(match_token(file.entries, *billing), "billing");
    EXPECT_EQ(match_token(file.entries, crm->substr(1) + "0"), std::nullopt);
    EXPECT_EQ(match_token(file.entries, ""), std::nullopt);
    // Only the hash is kept.
    EXPECT_EQ(file_bytes(token_file_name).find(*crm), std::string::npos);
    EXPECT_EQ(token_file_exposure(file, token_file_name, ::getuid()), std::nullopt);
}

TEST_F(TokenFileTest, AFileOthersMayWriteOrAnotherUserOwnsIsNotTrusted) {
    std::string problem;
    ASSERT_TRUE(add_new_token(token_file_name, "crm", problem)) << problem;
    ASSERT_EQ(::chmod(token_file_name, 0620), 0);
    TokenFile file = read_token_file(token_file_name);
    std::optional<std::string> exposed = token_file_exposure(file, token_file_name, ::getuid());
    ASSERT_TRUE(exposed);
    EXPECT_NE(exposed->find("chmod"), std::string::npos) << *exposed;

    ASSERT_EQ(::chmod(token_file_name, 0600), 0);
    file = read_token_file(token_file_name);
    exposed = token_file_exposure(file, token_file_name, ::getuid() + 1);
    ASSERT_TRUE(exposed);
    EXPECT_NE(exposed->find("chown"), std::string::npos) << *exposed;
}

TEST_F(TokenFileTest, MissingAndMalformedFilesAreToldApart) {
    EXPECT_EQ(read_token_file(token_file_name).status, TokenFile::Status::Missing);
    put_file(token_file_name, "crm not-a-hash\n");
    TokenFile file = read_token_file(token_file_name);
    EXPECT_EQ(file.status, TokenFile::Status::Malformed);
    EXPECT_FALSE(file.problem.empty());
}

struct NameCase {
    const char* name;
    std::string token_name;
    bool valid;
};

class TokenName : public ::testing::TestWithParam<NameCase> {};

TEST_P(TokenName, TakesLettersDigitsDotsUnderscoresAndDashes) {
    EXPECT_EQ(valid_token_name(GetParam().token_name), GetParam().valid);
}

const NameCase names[] = {
    {"plain", "crm", true},
    {"punctuation_allowed", "crm-2.main_a", true},
    {"sixty_four", std::string(64, 'a'), true},
    {"sixty_five", std::string(65, 'a'), false},
    {"empty", "", false},
    {"blank", "c rm", false},
    {"slash", "a/b", false},
    {"newline", "a\nb", false},
};

INSTANTIATE_TEST_SUITE_P(Names, TokenName, ::testing::ValuesIn(names),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
