#include "platform/clock.h"
#include "platform/gbk.h"
#include "support/hostile_input.h"
#include "support/pg_server.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

class VmsmsSend : public TempDirTest {
protected:
    ProgramResult send(const std::vector<std::string>& args, const std::string& input = {}) {
        day_ = spool_date(real_clock().now());
        return run_program(built_program("programs/vmsms-send"), args, input);
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
    {"seventy_one_chinese_say_why", {"--to", "139", chinese(71)}, "内容有 71 个字符，一条短信最多 70 个"},
    {"english_over_160_is_refused_not_cut",
     {"--english", "--to", "139", std::string(161, 'x')},
     "内容有 161 个GSM字符（扩展字符算两个），一条短信最多 160 个；更长的内容请用 --long 作为长短信发送。"},
    {"long_chinese_over_ten_parts", {"--long", "--to", "139", chinese(671)}, "长短信最多 670 个（10条）"},
    {"emoji_in_text", {"--to", "139", "hi \xF0\x9F\x98\x80"}, "GBK"},
    {"emoji_in_recipient", {"--to", "\xF0\x9F\x98\x80", "hi"}, "GBK"},
    {"invalid_utf8", {"--to", "139", "bad \xff"}, "GBK"},
    {"no_text", {"--to", "139"}, "usage"},
    {"unknown_option", {"--bogus", "--to", "139", "x"}, "usage"},
    {"letters", {"--to", "abc", "hi"}, "收信人不是手机号码、号码段或通讯录中的客户：“abc”，未加入发送队列。"},
    {"thirteen_digits", {"--to", "8613900000001", "hi"}, "“8613900000001”"},
    {"bad_among_good", {"--to", "139;abc", "--to", "138", "--to", "x-1", "hi"}, "：“abc”、“x-1”，"},
    {"chinese_name", {"--to", "张三", "hi"}, "“张三”"},
    {"two_plus_signs", {"--to", "++8613900000001", "hi"}, "“++8613900000001”"},
    {"sixteen_digit_international", {"--to", "+8613900000001234", "hi"}, "“+8613900000001234”"},
    {"dash_not_twelfth", {"--to", "1356666888-1357777999", "hi"}, "“1356666888-1357777999”"},
    {"bad_recipient_before_empty_content", {"--to", "abc", ""}, "“abc”"},
    {"only_blanks", {"--to", "  ", "hi"}, "收信人不能为空！"},
    {"to_file_missing", {"--to-file", "nope.txt", "hi"}, "cannot read nope.txt"},
    {"to_file_directory", {"--to-file", ".", "hi"}, ". is a directory"},
    {"to_file_endless", {"--to-file", "/dev/zero", "hi"}, "/dev/zero is larger than 16 MiB"},
};

INSTANTIATE_TEST_SUITE_P(Table, VmsmsSendRefusal, ::testing::ValuesIn(refusals),
                         [](const auto& info) { return std::string(info.param.name); });

struct Accepted {
    const char* name;
    std::vector<std::string> recipients; // one --to each
    std::string stored;                  // R1 as it lands on disk
};

void PrintTo(const Accepted& c, std::ostream* os) {
    *os << c.name;
}

class VmsmsSendRecipients : public VmsmsSend, public ::testing::WithParamInterface<Accepted> {
protected:
    void SetUp() override {
        VmsmsSend::SetUp();
        make_hostile_directory(); // lists the category 客户
    }
};

TEST_P(VmsmsSendRecipients, AreQueuedAsTyped) {
    std::vector<std::string> args;
    for (const std::string& to : GetParam().recipients) {
        args.push_back("--to");
        args.push_back(to);
    }
    args.push_back("hi");
    ProgramResult r = send(args);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(at("R1"), GetParam().stored);
}

const Accepted accepted[] = {
    {"range", {"13566668888-13566669999"}, "13566668888-13566669999"},
    {"customer_token", {"客户\x02采购部"}, gbk("客户") + "\x02" + gbk("采购部")},
    {"blanks_inside_a_number", {"139 0000 0001"}, "139 0000 0001"},
    {"twelve_digits", {"861390000000"}, "861390000000"},
    {"international_numbers", {"+447700900123", "+8613900000001"}, "+447700900123\r\r\n+8613900000001"},
    {"trailing_semicolon", {"139;"}, "139\r\n"},
    {"empty_line_among_numbers", {"139", "", "138"}, "139\r\r\n\r\r\n138"},
};

INSTANTIATE_TEST_SUITE_P(Table, VmsmsSendRecipients, ::testing::ValuesIn(accepted),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VmsmsSend, OversizedRecipientFileIsRefused) {
    put_file("big.txt", "13900000001\n");
    std::filesystem::resize_file("big.txt", 16 * 1024 * 1024 + 1);
    ProgramResult r = send({"--to-file", "big.txt", "hi"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("big.txt is larger than 16 MiB"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(day_ + "/new/R1"));
}

TEST_F(VmsmsSend, EndlessStandardInputIsRefused) {
    day_ = spool_date(real_clock().now());
    ProgramResult r =
        run_program("/bin/sh", {"-c", "exec \"$0\" --to 139 - </dev/zero", built_program("programs/vmsms-send")});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("standard input is larger than 16 MiB"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(day_ + "/new/R1"));
}

TEST_F(VmsmsSend, QueueThatCannotBeLockedFailsWithStatusOne) {
    const std::string day = spool_date(real_clock().now());
    std::filesystem::create_directories(day + "/new/acc.lock");
    ProgramResult r = send({"--to", "139", "hi"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("无法锁定发送队列（" + day + "/new/acc.lock）：Is a directory"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(day + "/new/R1"));
    EXPECT_FALSE(exists(day + "/new/acc"));
}

TEST_F(VmsmsSend, LongMessagesAreQueuedWhole) {
    ProgramResult r = send({"--long", "--to", "139", chinese(670)});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(at("DA1").size(), 1340u);
    r = send({"--long", "--english", "--to", "139", std::string(1530, 'e')});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(at("DA2"), "\x02" + std::string(1530, 'e') + "   ");
}

TEST_F(VmsmsSend, LongMessagesSetInServerTxtNeedNoFlag) {
    put_file("server.txt", "[SET]\r\nLONGSMS=1\r\n");
    ProgramResult r = send({"--to", "139", chinese(300)});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(at("DA1").size(), 600u);
}

TEST_F(VmsmsSend, SeventyChineseCharactersAreAccepted) {
    ProgramResult r = send({"--to", "139", chinese(70)});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(at("DA1").size(), 140u);
}

class VmsmsSendHostile : public VmsmsSend, public ::testing::WithParamInterface<HostileCase> {
protected:
    void SetUp() override {
        VmsmsSend::SetUp();
        make_hostile_directory();
    }
};

TEST_P(VmsmsSendHostile, IsRefusedWithStatusTwoAndNothingIsQueued) {
    std::vector<std::string> args;
    for (const std::string& to : GetParam().to) {
        args.insert(args.end(), {"--to", to});
    }
    // Standard input carries what an argument cannot: a NUL byte.
    args.push_back("-");
    ProgramResult r = send(args, GetParam().text);
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find(GetParam().field == "text" ? "控制字符" : "收信人"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(day_ + "/new/acc"));
    EXPECT_FALSE(exists(day_ + "/new/R1"));
}

INSTANTIATE_TEST_SUITE_P(Table, VmsmsSendHostile, ::testing::ValuesIn(hostile_table().refused),
                         [](const auto& info) { return info.param.name; });

// Anyone who can open the lock file can hold it. A writer then gives up after its wait, says which lock
// held it, and never queues later behind the caller's back.
TEST_F(VmsmsSend, HeldQueueLockFailsWithStatusOneAfterTheWait) {
    const std::string day = spool_date(real_clock().now());
    std::filesystem::create_directories(day + "/new");
    const std::string lock = day + "/new/acc.lock";
    put_file(lock, "");
    int fd = ::open(lock.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    ProgramResult r = send({"--lock-timeout", "0.3", "--to", "139", "hi"});
    ::close(fd);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("无法锁定发送队列（" + day + "/new/acc.lock）"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(day + "/new/R1"));
    EXPECT_FALSE(exists(day + "/new/acc"));
    EXPECT_EQ(send({"--lock-timeout", "x", "--to", "139", "hi"}).exit_code, 2);
}

// --key with the shared queue: the key is written before the outbox takes the rows, so a message the
// database refused leaves a stale key, and the retry once it is back is queued once, spool and outbox.
TEST_F(VmsmsSend, AKeyedMessageTheDatabaseRefusedIsQueuedOnceWhenItIsBack) {
    PgServer pg(dir() + "/pg");
    ASSERT_TRUE(pg.ready()) << pg.error();
    put_file("server.txt", "[SET]\r\nCOM=" + dir() + "/no-modem\r\n[DB]\r\nDSN=" + pg.dsn() + "\r\nGATEWAY=g\r\n");
    ProgramResult init = run_program(built_program("programs/vmsmsd"), {"--init-db"});
    ASSERT_EQ(init.exit_code, 0) << init.err;
    const std::vector<std::string> message{"--key", "order 17", "--db", "--to", "13900000001", "你好"};

    ASSERT_TRUE(pg.stop());
    ProgramResult refused = send(message);
    EXPECT_EQ(refused.exit_code, 1) << refused.err;
    EXPECT_NE(file_bytes("idempotency/vmsms-send.txt").find(" order 17"), std::string::npos);
    EXPECT_FALSE(exists(day_ + "/new/acc"));

    ASSERT_TRUE(pg.start()) << pg.error();
    for (int attempt = 0; attempt < 2; ++attempt) {
        ProgramResult queued = send(message);
        EXPECT_EQ(queued.exit_code, 0) << queued.err;
        EXPECT_EQ(queued.out, "1\n");
    }
    EXPECT_EQ(at("acc"), "1");
    EXPECT_EQ(pg.psql_value("SELECT count(*) FROM outbox WHERE origin = 'g' AND record = 1"), "1");
    ProgramResult other = send({"--key", "order 17", "--db", "--to", "13900000001", "再见"});
    EXPECT_EQ(other.exit_code, 2);
    EXPECT_NE(other.err.find("幂等键已用于另一条短信"), std::string::npos) << other.err;
    EXPECT_EQ(pg.psql_value("SELECT count(*) FROM outbox"), "1");
}

} // namespace
