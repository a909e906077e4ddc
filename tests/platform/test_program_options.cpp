// The declarative command-line parser: one reading of argv into a program's struct, the mistakes it
// reports, the defaults from the declarations and from server.txt, the common options and the help lines.
#include "platform/program_options.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

// What a small program takes from its command line.
struct Taken {
    bool verbose = false;
    int level = -1;
    std::string user;
    std::vector<std::string> names;
    std::string text;
    bool loud = false; // from the LOUD key unless given
};

// A server.txt stand-in: the keys the options default from.
using FakeSettings = std::map<std::string, std::string>;

std::string level_problem(const std::string& argument, Taken& into) {
    char* end = nullptr;
    long level = std::strtol(argument.c_str(), &end, 10);
    if (argument.empty() || *end != '\0' || level < 0 || level > 9) {
        return "must be 0 to 9";
    }
    into.level = static_cast<int>(level);
    return "";
}

ProgramSpec sample_spec(Taken& into, const FakeSettings& settings) {
    ProgramSpec spec;
    spec.program = "sample";
    spec.help_head = "usage: sample [OPTION]... TEXT\n\n";
    spec.help_tail = "\nThe end.\n";
    spec.help_column = 20;
    spec.options = {
        dir_option("work in PATH"),
        flag_option("--verbose", "say more", [&into] { into.verbose = true; }),
        argument_option("--level", "0..9", "how much (default {default})",
                        [&into](const std::string& argument) { return level_problem(argument, into); })
            .defaults_to("3"),
        argument_option("--user", "NAME", "become NAME",
                        [&into](const std::string& argument) {
                            into.user = argument;
                            return std::string();
                        })
            .taken_early(),
        argument_option("--name", "NAME", "a name; repeat for more",
                        [&into](const std::string& argument) {
                            into.names.push_back(argument);
                            return std::string();
                        }),
        flag_option("--loud", "shout\n(also {setting}=1 in server.txt)", [&into] { into.loud = true; })
            .from_setting("LOUD",
                          [&into, &settings] {
                              auto found = settings.find("LOUD");
                              into.loud = found != settings.end() && found->second == "1";
                          }),
        help_option(),
        version_option(),
    };
    spec.operand = [&into](const std::string& word) {
        if (!into.text.empty()) {
            return std::string("one text only");
        }
        into.text = word;
        return std::string();
    };
    return spec;
}

CommandLine read(const ProgramSpec& spec, std::vector<std::string> words) {
    words.insert(words.begin(), spec.program);
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    return read_command_line(spec, static_cast<int>(words.size()), argv.data());
}

// Everything a reading gives, in one line, for comparing with a case's expectation.
std::string summary(const Taken& taken, const CommandLine& line) {
    std::string text = "verbose=" + std::to_string(taken.verbose) + " level=" + std::to_string(taken.level) +
                       " user=" + taken.user + " names=";
    for (const std::string& name : taken.names) {
        text += name + ",";
    }
    text += " text=" + taken.text + " dirs=";
    for (const std::string& directory : line.directories) {
        text += directory + ",";
    }
    if (line.directory_missing) {
        text += "(missing)";
    }
    return text;
}

struct ReadCase {
    const char* name;
    std::vector<std::string> words;
    const char* taken;
    const char* error; // describe() of the first mistake; "" for none
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadingTheLine : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadingTheLine, TakesTheWordsIntoTheStruct) {
    const ReadCase& c = GetParam();
    Taken taken;
    FakeSettings settings;
    ProgramSpec spec = sample_spec(taken, settings);
    CommandLine line = read(spec, c.words);
    EXPECT_EQ(summary(taken, line), c.taken);
    EXPECT_EQ(line.error ? describe(*line.error) : "", c.error);
    EXPECT_EQ(line.request, CommandLine::Request::Run);
}

const ReadCase read_cases[] = {
    {"nothing_keeps_the_defaults", {}, "verbose=0 level=3 user= names= text= dirs=", ""},
    {"flags_arguments_and_the_operand",
     {"--verbose", "--level", "7", "--name", "a", "hello", "--name", "--b"},
     "verbose=1 level=7 user= names=a,--b, text=hello dirs=",
     ""},
    {"a_later_argument_replaces_an_earlier_one",
     {"--level", "1", "--level", "2"},
     "verbose=0 level=2 user= names= text= dirs=",
     ""},
    {"directories_in_their_order",
     {"--dir", "a", "--verbose", "--dir", "b"},
     "verbose=1 level=3 user= names= text= dirs=a,b,",
     ""},
    {"a_last_dir_without_its_path",
     {"--dir", "a", "--dir"},
     "verbose=0 level=3 user= names= text= dirs=a,(missing)",
     ""},
    {"unknown_option", {"--bogus"}, "verbose=0 level=3 user= names= text= dirs=", "unknown option \"--bogus\""},
    {"missing_argument",
     {"--verbose", "--level"},
     "verbose=1 level=3 user= names= text= dirs=",
     "--level needs an argument"},
    {"out_of_range",
     {"--level", "10"},
     "verbose=0 level=3 user= names= text= dirs=",
     "--level must be 0 to 9, not \"10\""},
    {"not_a_number",
     {"--level", "x"},
     "verbose=0 level=3 user= names= text= dirs=",
     "--level must be 0 to 9, not \"x\""},
    {"empty_argument",
     {"--level", ""},
     "verbose=0 level=3 user= names= text= dirs=",
     "--level must be 0 to 9, not \"\""},
    {"a_refused_operand", {"one", "two"}, "verbose=0 level=3 user= names= text=one dirs=", "one text only: \"two\""},
    {"the_first_mistake_is_the_one_reported",
     {"--level", "12", "--bogus", "--level"},
     "verbose=0 level=3 user= names= text= dirs=",
     "--level must be 0 to 9, not \"12\""},
    {"after_a_mistake_only_early_options_and_directories_are_taken",
     {"--bogus", "--verbose", "--user", "u", "--name", "n", "text", "--dir", "d"},
     "verbose=0 level=3 user=u names= text= dirs=d,",
     "unknown option \"--bogus\""},
    {"an_early_option_without_its_argument",
     {"--user"},
     "verbose=0 level=3 user= names= text= dirs=",
     "--user needs an argument"},
};

INSTANTIATE_TEST_SUITE_P(Table, ReadingTheLine, ::testing::ValuesIn(read_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadingTheLine, RecordsEveryWordInItsOrder) {
    Taken taken;
    FakeSettings settings;
    ProgramSpec spec = sample_spec(taken, settings);
    CommandLine line = read(spec, {"--level", "4", "text", "--bogus", "--verbose"});
    ASSERT_EQ(line.words.size(), 4u);
    EXPECT_EQ(line.words[0].option->name, "--level");
    EXPECT_EQ(line.words[0].argument, "4");
    EXPECT_EQ(line.words[1].option, nullptr);
    EXPECT_EQ(line.words[1].word, "text");
    EXPECT_EQ(line.words[2].word, "--bogus");
    EXPECT_EQ(line.words[3].option->name, "--verbose");
    EXPECT_TRUE(line.given("--verbose"));
    EXPECT_FALSE(line.given("--name"));
}

TEST(ReadingTheLine, SaysWhetherAnUnknownWordIsFollowed) {
    Taken taken;
    FakeSettings settings;
    ProgramSpec spec = sample_spec(taken, settings);
    spec.operand = nullptr;
    CommandLine followed = read(spec, {"--bogus", "x"});
    ASSERT_TRUE(followed.error);
    EXPECT_TRUE(followed.error->followed);
    CommandLine last = read(spec, {"x"});
    ASSERT_TRUE(last.error);
    EXPECT_FALSE(last.error->followed);
    EXPECT_EQ(describe(*last.error), "unexpected word \"x\"");
}

TEST(ReadingTheLine, ALenientProgramPassesOverWhatItDoesNotKnow) {
    Taken taken;
    FakeSettings settings;
    ProgramSpec spec = sample_spec(taken, settings);
    spec.lenient = true;
    CommandLine line = read(spec, {"--bogus", "--verbose", "--level", "x", "--name", "n", "--dir"});
    EXPECT_FALSE(line.error);
    EXPECT_EQ(summary(taken, line), "verbose=1 level=3 user= names=n, text= dirs=(missing)");
}

struct RequestCase {
    const char* name;
    std::vector<std::string> words;
    CommandLine::Request request;
};

void PrintTo(const RequestCase& c, std::ostream* os) {
    *os << c.name;
}

class HelpAndVersion : public ::testing::TestWithParam<RequestCase> {};

TEST_P(HelpAndVersion, CountWhereverTheyStand) {
    Taken taken;
    FakeSettings settings;
    ProgramSpec spec = sample_spec(taken, settings);
    EXPECT_EQ(read(spec, GetParam().words).request, GetParam().request);
}

const RequestCase request_cases[] = {
    {"help", {"--help"}, CommandLine::Request::Help},
    {"version", {"--version"}, CommandLine::Request::Version},
    {"the_first_of_them_wins", {"--version", "--help"}, CommandLine::Request::Version},
    {"after_a_mistake", {"--bogus", "--help"}, CommandLine::Request::Help},
    {"as_another_options_argument", {"--name", "--help"}, CommandLine::Request::Help},
    {"as_the_path_of_dir", {"--dir", "--version"}, CommandLine::Request::Version},
    {"neither", {"--verbose", "-help"}, CommandLine::Request::Run},
};

INSTANTIATE_TEST_SUITE_P(Table, HelpAndVersion, ::testing::ValuesIn(request_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingDefaults, FillWhatTheCommandLineLeftOutAndAllOfItWhenReadAgain) {
    Taken taken;
    FakeSettings settings{{"LOUD", "0"}};
    ProgramSpec spec = sample_spec(taken, settings);
    CommandLine line = read(spec, {"--loud"});
    load_settings(spec, &line);
    EXPECT_TRUE(taken.loud) << "given on the command line, kept";

    Taken other;
    ProgramSpec other_spec = sample_spec(other, settings);
    settings["LOUD"] = "1";
    CommandLine bare = read(other_spec, {});
    EXPECT_FALSE(other.loud);
    load_settings(other_spec, &bare);
    EXPECT_TRUE(other.loud) << "left out: taken from the key";

    settings["LOUD"] = "0";
    load_settings(spec, nullptr);
    EXPECT_FALSE(taken.loud) << "read again: the key wins";
}

TEST(HelpLines, AreRenderedFromTheDeclarations) {
    Taken taken;
    FakeSettings settings;
    ProgramSpec spec = sample_spec(taken, settings);
    spec.options.push_back(argument_option("--a-very-long-option", "ARGUMENT", "explained below\nand on", nullptr));
    EXPECT_EQ(option_lines(spec), "  --dir PATH        work in PATH\n"
                                  "  --verbose         say more\n"
                                  "  --level 0..9      how much (default 3)\n"
                                  "  --user NAME       become NAME\n"
                                  "  --name NAME       a name; repeat for more\n"
                                  "  --loud            shout\n"
                                  "                    (also LOUD=1 in server.txt)\n"
                                  "  --help            show this text and exit\n"
                                  "  --version         show the version and exit\n"
                                  "  --a-very-long-option ARGUMENT\n"
                                  "                    explained below\n"
                                  "                    and on\n");
    EXPECT_EQ(help_text(spec), spec.help_head + option_lines(spec) + spec.help_tail);
}

TEST(HelpLines, KeepTwoBlanksBeforeTheExplanationOrBreakTheLine) {
    ProgramSpec spec;
    spec.help_column = 12;
    spec.options = {flag_option("--abcdef", "fits", nullptr), flag_option("--abcdefg", "breaks", nullptr)};
    EXPECT_EQ(option_lines(spec), "  --abcdef  fits\n"
                                  "  --abcdefg\n"
                                  "            breaks\n");
}

class CommonOptions : public TempDirTest {
protected:
    std::optional<int> settle(std::vector<std::string> words) {
        spec_ = sample_spec(taken_, settings_);
        CommandLine line = read(spec_, std::move(words));
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        std::optional<int> status = settle_common_options(spec_, line);
        out_ = ::testing::internal::GetCapturedStdout();
        err_ = ::testing::internal::GetCapturedStderr();
        return status;
    }

    Taken taken_;
    FakeSettings settings_;
    ProgramSpec spec_;
    std::string out_;
    std::string err_;
};

TEST_F(CommonOptions, HelpPrintsTheRenderedTextAndEndsTheProgram) {
    EXPECT_EQ(settle({"--dir", "missing", "--help"}), 0);
    EXPECT_EQ(out_, help_text(spec_));
    EXPECT_EQ(err_, "");
}

TEST_F(CommonOptions, VersionPrintsTheVersionLine) {
    EXPECT_EQ(settle({"--version"}), 0);
    EXPECT_EQ(out_.rfind("sample (vmSMS) ", 0), 0u) << out_;
}

TEST_F(CommonOptions, DirectoriesAreEnteredInTheirOrder) {
    std::filesystem::create_directories("a/b");
    EXPECT_EQ(settle({"--dir", "a", "--dir", "b"}), std::nullopt) << err_;
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(dir()) / "a" / "b");
}

TEST_F(CommonOptions, AMissingDirectoryEndsTheProgramWithOne) {
    EXPECT_EQ(settle({"--dir", "missing", "--dir"}), 1);
    EXPECT_EQ(err_, "sample: cannot work in missing: No such file or directory\n");
}

TEST_F(CommonOptions, DirWithoutItsPathEndsTheProgramWithTwo) {
    EXPECT_EQ(settle({"--verbose", "--dir"}), 2);
    EXPECT_EQ(err_, "sample: --dir needs a path\n");
}

TEST_F(CommonOptions, NothingToSettleLetsTheProgramGoOn) {
    EXPECT_EQ(settle({"--bogus"}), std::nullopt);
    EXPECT_EQ(out_ + err_, "");
}

TEST(ReportError, NamesTheProgramAndEndsWithTwo) {
    ProgramSpec spec;
    spec.program = "sample";
    ::testing::internal::CaptureStderr();
    int status = report_error(spec, {CommandLineError::Kind::UnknownOption, "--x", "", "", false});
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "sample: unknown option \"--x\"\n");
    EXPECT_EQ(status, 2);
}

} // namespace
