#include "platform/clock.h"
#include "platform/gbk.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

class VmsmsSend : public TempDirTest {
protected:
    ProgramResult send(const std::vector<std::string>& args, const std::string& input = {}) {
        day_ = spool_date(real_clock().now());
        return run_program(built_program("tools/vmsms-send"), args, input);
    }
    std::string at(const std::string& name) { return file_bytes(day_ + "/new/" + name); }
    std::string day_;
};

TEST_F(VmsmsSend, QueuesChineseRecordByteForByte) {
    ProgramResult r = send({"--to", "13900000001", "--to", "13800000002", "你好"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "1\n");
    EXPECT_EQ(at("R1"), "13900000001\r\r\n13800000002");
    EXPECT_EQ(at("DA1"), gbk("你好"));
    EXPECT_EQ(at("acc"), "1");
    std::string header = at("H1");
    const std::string head = "[HEAD]\r\ntime=" + day_ + " ";
    ASSERT_EQ(header.substr(0, head.size()), head);
    const std::string tail = gbk("\r\nsend= \r\ntype=查询\r\nstat=未发\r\njrade=紧急\r\n");
    ASSERT_GE(header.size(), tail.size());
    EXPECT_EQ(header.substr(header.size() - tail.size()), tail);
}

TEST_F(VmsmsSend, EnglishGetsKindByteAndThreeBlanks) {
    ASSERT_EQ(send({"--english", "--to", "13900000001", "hello"}).exit_code, 0);
    EXPECT_EQ(at("DA1"), "\x02hello   ");
}

TEST_F(VmsmsSend, SemicolonsSplitRecipientsLikeTheComposeBox) {
    ASSERT_EQ(send({"--to", "139;138", "--to", "137;", "--to", "136", "x"}).exit_code, 0);
    EXPECT_EQ(at("R1"), "139\r\n138\r\r\n137;\r\r\n136");
}

TEST_F(VmsmsSend, ReadsRecipientsFromFileAndTextFromStandardInput) {
    put_file("list.txt", "13900000001\n13566668888-13566668890\n");
    ProgramResult r = send({"--to-file", "list.txt", "-"}, "第一行\n第二行\n");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(at("R1"), "13900000001\r\r\n13566668888-13566668890");
    EXPECT_EQ(at("DA1"), gbk("第一行\r\r\n第二行"));
}

TEST_F(VmsmsSend, ConsecutiveCallsTakeConsecutiveNumbers) {
    ASSERT_EQ(send({"--to", "1", "a"}).out, "1\n");
    ASSERT_EQ(send({"--to", "1", "b"}).out, "2\n");
    EXPECT_EQ(at("acc"), "2");
    EXPECT_EQ(at("DA2"), "b");
}

struct Refusal {
    const char* name;
    std::vector<std::string> args;
    const char* message;
};

class VmsmsSendRefusal : public VmsmsSend, public ::testing::WithParamInterface<Refusal> {};

TEST_P(VmsmsSendRefusal, ExitsTwoAndWritesOnlyTheDayDirectories) {
    ProgramResult r = send(GetParam().args);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    if (exists(day_)) {
        EXPECT_TRUE(std::filesystem::is_empty(day_ + "/new"));
    }
}

std::string chinese(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
        s += "你";
    }
    return s;
}

const Refusal refusals[] = {
    {"no_recipients", {"text"}, "收信人不能为空！"},
    {"empty_content", {"--to", "139", ""}, "收信内容不能为空！"},
    {"seventy_one_chinese", {"--to", "139", chinese(71)}, "收信内容不能太多！"},
    {"emoji_in_text", {"--to", "139", "hi \xF0\x9F\x98\x80"}, "GBK"},
    {"emoji_in_recipient", {"--to", "\xF0\x9F\x98\x80", "hi"}, "GBK"},
    {"invalid_utf8", {"--to", "139", "bad \xff"}, "GBK"},
    {"no_text", {"--to", "139"}, "usage"},
    {"unknown_option", {"--bogus", "--to", "139", "x"}, "usage"},
};

INSTANTIATE_TEST_SUITE_P(Table, VmsmsSendRefusal, ::testing::ValuesIn(refusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VmsmsSend, SeventyChineseCharactersAreAccepted) {
    ProgramResult r = send({"--to", "139", chinese(70)});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(at("DA1").size(), 140u);
}

} // namespace
