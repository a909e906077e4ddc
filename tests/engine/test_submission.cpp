#include "engine/outgoing/submission.h"
#include "platform/gbk.h"
#include "store/customer_files.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

namespace {

class Submission : public EngineFixture {
protected:
    // A Chinese record: 你好 as UCS-2.
    UserData chinese() {
        ctx.state.content.kind = 0;
        ctx.state.content.plain = gbk("你好");
        return {"4F60597D", 0};
    }
    // An English record: hello, kind byte and three blanks as the compose tab stores it.
    UserData english() {
        ctx.state.content.kind = 2;
        ctx.state.content.plain = "\x02hello   ";
        Encoded7bit packed = encode_7bit("hello   ");
        return {packed.hex, packed.septets};
    }
    std::string now_text() { return time_text(clock.now()); }
};

// What became of a recipient, as one text for the assertions.
std::string outcome(const RecipientOutcome& o) {
    return (o.sent ? "sent: " : "not sent: ") + o.result;
}

TEST_F(Submission, SentAtFirstAttemptWritesCommandPduAndSuccessLine) {
    port.standing(accepting_modem());
    ASSERT_EQ(outcome(submit_to_recipient(ctx, "13900000001", chinese(), 3, 0)), "sent: sent");
    EXPECT_EQ(send_commands(), std::vector<std::string>{"at+cmgs=19\r"});
    EXPECT_EQ(sent_pdus(), std::vector<std::string>{"0011000D91683109000000F1000830044F60597D"});
    // Speed 5, attempt 0: 250 ms between the writes, 3000 ms after the PDU, then the answer's read.
    EXPECT_EQ(clock.sleeps(), (std::vector<int>{250, 3000, 3560}));
    EXPECT_EQ(report("SUCC"), "3.0," + now_text() + "   13900000001    " + gbk("你好") + "\r\r\n");
    EXPECT_EQ(report("FAIL"), "");
    EXPECT_EQ(output.prepended(),
              std::vector<std::string>{"SMS Create Day: 2004-5-6     13900000001   0" + gbk("    发送成功.\r\n")});
}

TEST_F(Submission, EnglishReportLineKeepsTheStoredContent) {
    port.standing(accepting_modem());
    submit_to_recipient(ctx, "13900000001", english(), 1, 2);
    ASSERT_EQ(sent_pdus().size(), 1u);
    EXPECT_EQ(sent_pdus()[0], "0011000D91683109000000F10000A708E8329BFD068140");
    EXPECT_EQ(report("SUCC"), "1.2," + now_text() + "   13900000001    \x02hello   \r\r\n");
}

// SMSC puts a service centre into every submission; one that is no international number is left out
// (traced), and without it the PDU is as it always was.
TEST_F(Submission, ServiceCentreOfServerTxtLeadsEveryPdu) {
    struct Case {
        const char* smsc;
        const char* pdu_start;
        const char* trace;
    };
    for (const Case& c : {Case{"+8613800000500",
                               "0891683108000005F0"
                               "1100",
                               "smsc=[+8613800000500]"},
                          Case{"13800000500", "001100", "is no international number"}, Case{"", "001100", ""}}) {
        put_file("server.txt", std::string("[SET]\r\nSMSC=") + c.smsc + "\r\n");
        port.standing(accepting_modem());
        std::size_t before = sent_pdus().size();
        ASSERT_EQ(outcome(submit_to_recipient(ctx, "13900000001", chinese(), 1, 0)), "sent: sent") << c.smsc;
        ASSERT_EQ(sent_pdus().size(), before + 1);
        EXPECT_EQ(sent_pdus().back().rfind(c.pdu_start, 0), 0u) << c.smsc << ": " << sent_pdus().back();
        EXPECT_EQ(send_commands().back(), "at+cmgs=19\r") << c.smsc;
        if (*c.trace != '\0') {
            EXPECT_NE(trace_text().find(c.trace), std::string::npos) << c.smsc;
        } else {
            EXPECT_EQ(trace_text().find("smsc=["), trace_text().find("smsc=[+8613800000500]")) << c.smsc;
        }
    }
}

TEST_F(Submission, SiemensVariantCarriesTheServiceCentreAndFixedLength) {
    put_file("server.txt", "[SET]\r\nSMSCODE=8613800000500\r\n");
    options.device = DeviceType::Siemens;
    port.standing(accepting_modem());
    submit_to_recipient(ctx, "13900000001", chinese(), 1, 0);
    EXPECT_EQ(send_commands(), std::vector<std::string>{"at+cmgs=176\r"});
    EXPECT_EQ(sent_pdus(), std::vector<std::string>{"0891683108000005F011000B813109000000F10008A7044F60597D"});
    std::string trace = trace_text();
    EXPECT_NE(trace.find("smsCO_0=[8613800000500]\r\nsmsCO_1=[13800000500]\r\nsmsCO_2=[3108000005F0]"),
              std::string::npos);
    EXPECT_NE(trace.find("sms_ss=[0891683108000005F0"), std::string::npos);
}

// A modem that answers every message with a refusal.
std::vector<ModemReply> refusing_modem() {
    return {
        {"at+cmgs=", "\r\n> "},            // prompt for the PDU
        {"00", "\r\n+CMS ERROR: 500\r\n"}, // the network refused it
    };
}

TEST_F(Submission, RefusingModemWithRetryMakesSixAttemptsAndOneFailureLine) {
    options.retry = true;
    port.standing(refusing_modem());
    EXPECT_EQ(outcome(submit_to_recipient(ctx, "13900000001", chinese(), 2, 0)), "not sent: +CMS ERROR: 500");
    EXPECT_EQ(send_commands().size(), 6u);
    std::vector<int> expected;
    for (int a = 0; a < 6; ++a) {
        expected.insert(expected.end(), {100 * a + 250, 1000 * a + 3000, 3560});
    }
    EXPECT_EQ(clock.sleeps(), expected);
    std::vector<std::string> lines = output.prepended();
    ASSERT_EQ(lines.size(), 6u);
    // Each failure line says what the modem's error means.
    for (int a = 0; a < 6; ++a) {
        EXPECT_EQ(lines[a], "SMS Create Day: 2004-5-6      13900000001   " + std::to_string(a) +
                                gbk("    发送失败!!!  +CMS ERROR: 500 未知错误\r\n"));
    }
    EXPECT_EQ(report("FAIL"), "2.0," + now_text() + "   13900000001    " + gbk("你好") + "\r\r\n");
    EXPECT_EQ(report("SUCC"), "");
}

struct AnswerCase {
    const char* name;
    const char* answer;
    bool sent;
    const char* monitor_end; // UTF-8: how the monitor line ends
};

class SubmissionAnswer : public Submission, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(SubmissionAnswer, OnlyARealOkCountsAsSent) {
    port.standing({{"at+cmgs=", "\r\n> "}, {"00", GetParam().answer}});
    submit_to_recipient(ctx, "13900000001", chinese(), 1, 0);
    EXPECT_EQ(send_commands().size(), 1u); // retry is off: one attempt either way
    EXPECT_EQ(report("SUCC").empty(), !GetParam().sent);
    EXPECT_EQ(report("FAIL").empty(), GetParam().sent);
    ASSERT_EQ(output.prepended().size(), 1u);
    EXPECT_TRUE(output.prepended()[0].ends_with(gbk(GetParam().monitor_end))) << output.prepended()[0];
}

const AnswerCase answers[] = {
    {"ok", "\r\n+CMGS: 12\r\n\r\nOK\r\n", true, "    发送成功.\r\n"},
    {"cms_error", "\r\n+CMS ERROR: 500\r\n", false, "    发送失败!!!  +CMS ERROR: 500 未知错误\r\n"},
    {"cms_error_unknown_number", "\r\n+CMS ERROR: 77\r\n", false, "    发送失败!!!  +CMS ERROR: 77\r\n"},
    {"cms_error_without_number", "\r\n+CMS ERROR\r\n", false, "    发送失败!!!\r\n"},
    {"cme_error", "\r\n+CME ERROR: 10\r\n", false, "    发送失败!!!  +CME ERROR: 10 未插SIM卡\r\n"},
    {"plain_error", "\r\nERROR\r\n", false, "    发送失败!!!\r\n"},
    {"left_over_ok_before_error", "\r\nOK\r\n\r\n+CMS ERROR: 38\r\n", false,
     "    发送失败!!!  +CMS ERROR: 38 网络故障\r\n"},
    {"ok_inside_a_word", "\r\nBROKEN\r\n", false, "    发送失败!!!\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Table, SubmissionAnswer, ::testing::ValuesIn(answers),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Submission, PauseAfterFailureWaitsAfterEveryFailedAttempt) {
    options.pause_after_failure = true;
    port.standing(refusing_modem());
    submit_to_recipient(ctx, "13900000001", chinese(), 1, 0);
    EXPECT_EQ(clock.sleeps(), (std::vector<int>{250, 3000, 3560, 7800}));
    EXPECT_NE(trace_text().find(gbk(">>>>>防止空号堵塞 null phone number Sleep!\r\r\n")), std::string::npos);
}

TEST_F(Submission, SpeedZeroSendsThePduWithoutWaitOnFirstAttempt) {
    options.speed = 0;
    port.standing(accepting_modem());
    submit_to_recipient(ctx, "13900000001", chinese(), 1, 0);
    EXPECT_EQ(clock.sleeps(), (std::vector<int>{0, 0, 3560}));
}

TEST_F(Submission, ShowOnScreenPrefixesEveryRecipientsUserData) {
    options.show_on_screen = true;
    port.standing(accepting_modem());
    UserData data = chinese();
    submit_to_recipient(ctx, "13900000001", data, 1, 0);
    submit_to_recipient(ctx, "13900000002", data, 1, 1);
    ASSERT_EQ(sent_pdus().size(), 2u);
    EXPECT_EQ(sent_pdus()[0], "0011000D91683109000000F1000830060001"
                              "4F60597D");
    EXPECT_EQ(sent_pdus()[1], "0011000D91683109000000F2000830060001"
                              "4F60597D");
}

TEST_F(Submission, ShowOnScreenSendsSevenBitDataAsAFlashMessageWithoutThePrefix) {
    options.show_on_screen = true;
    port.standing(accepting_modem());
    submit_to_recipient(ctx, "13900000001", english(), 1, 0);
    ASSERT_EQ(sent_pdus().size(), 1u);
    // Coding scheme 10: the default alphabet, class 0; the user data is the text alone.
    EXPECT_EQ(sent_pdus()[0], "0011000D91683109000000F10010A708E8329BFD068140");
}

TEST_F(Submission, ShowOnScreenPrefixStillFitsOneMessage) {
    options.show_on_screen = true;
    port.standing(accepting_modem());
    ctx.state.content.kind = 0;
    ctx.state.content.plain = "x";
    std::string seventy_units;
    for (int i = 0; i < 70; ++i) {
        seventy_units += "4F60";
    }
    submit_to_recipient(ctx, "13900000001", {seventy_units, 0}, 1, 0);
    ASSERT_EQ(sent_pdus().size(), 1u);
    // "0001" and 69 units: 140 octets (8C), not 142.
    EXPECT_EQ(sent_pdus()[0], "0011000D91683109000000F10008308C0001" + seventy_units.substr(0, 276));
}

// --- The link going down in the middle of a message ----------------------------------------------------

TEST_F(Submission, SilentModemIsALinkDownAndTheSameAttemptIsMadeOnceItIsBack) {
    port.standing(accepting_modem());
    port.set_silent(true); // answers nothing until the device is opened again
    ASSERT_EQ(outcome(submit_to_recipient(ctx, "13900000001", chinese(), 3, 0)), "sent: sent");

    // Attempt 0 heard nothing; the port was closed and opened again after 1 s, the modem set up
    // again, and attempt 0 made a second time.
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(clock.sleeps(), (std::vector<int>{250, 3000, 3560, 1000, 2500, 3560, 2000, 250, 3000, 3560}));
    EXPECT_EQ(send_commands().size(), 2u);
    EXPECT_EQ(report("SUCC"), "3.0," + now_text() + "   13900000001    " + gbk("你好") + "\r\r\n");
    EXPECT_EQ(report("FAIL"), "");
    std::vector<std::string> lines = output.prepended();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], gbk("调制解调器连接中断（无应答）：已关闭 /dev/ttyS0，稍后重新打开。\r\n"));
    EXPECT_EQ(lines[1], gbk("调制解调器已重新连接（/dev/ttyS0），继续收发。\r\n"));
    EXPECT_EQ(lines[2], "SMS Create Day: 2004-5-6     13900000001   0" + gbk("    发送成功.\r\n"));
    EXPECT_EQ(output.caption(), gbk("Velmora短信网关--企业短消息服务器  ：   收发进程已启动"));
    std::vector<std::string> events = output.events();
    EXPECT_EQ(events.at(0),
              "caption:" + gbk("Velmora短信网关--企业短消息服务器  ：   调制解调器连接中断，正在重新连接"));
}

TEST_F(Submission, UnpluggedDeviceIsOpenedAgainWithGrowingWaits) {
    port.standing(accepting_modem());
    port.set_broken(true); // hung up: writes take nothing, reads return at once
    refused_opens = 7;     // the device is missing for seven tries
    submit_to_recipient(ctx, "13900000001", chinese(), 1, 0);

    EXPECT_EQ(opens, 8);
    std::vector<int> sleeps = clock.sleeps();
    // 250 and 3000 around the failed attempt (its reads return at once), then the waits before each
    // reopening, doubling up to 30 s, then the set-up and the attempt made again.
    std::vector<int> expected{250,   3000,  1000, 2000, 4000, 8000, 16000, 30000,
                              30000, 30000, 2500, 3560, 2000, 250,  3000,  3560};
    EXPECT_EQ(sleeps, expected);
    EXPECT_EQ(sent_pdus().size(), 1u) << "the broken port took no bytes";
    EXPECT_EQ(report("SUCC").substr(0, 4), "1.0,");
    EXPECT_NE(output.prepended().at(0).find(gbk("线路挂断或设备已移除")), std::string::npos);
}

TEST_F(Submission, ModemThatStaysSilentAfterReopeningIsNotTakenAsBack) {
    // The device opens, but the modem answers nothing to its set-up twice; the third time it does.
    port.standing(accepting_modem());
    port.set_silent(true);
    int silent_reopens = 2;
    ModemLink quiet_link{std::make_unique<BorrowedPort>(port),
                         [&](const std::string&) -> std::unique_ptr<SerialPort> {
                             ++opens;
                             port.set_silent(silent_reopens-- > 0);
                             return std::make_unique<BorrowedPort>(port);
                         },
                         "/dev/ttyS0", 19200};
    EngineContext quiet{quiet_link, clock, pacer, options, output, logs, ctx.state};
    submit_to_recipient(quiet, "13900000001", chinese(), 1, 0);
    EXPECT_EQ(opens, 3);
    EXPECT_EQ(clock.sleeps(), (std::vector<int>{250, 3000, 3560, 1000, 2500, 3560, 2000, 2000, 2500, 3560, 2000, 4000,
                                                2500, 3560, 2000, 250, 3000, 3560}));
    EXPECT_EQ(report("SUCC").substr(0, 4), "1.0,");
}

TEST_F(Submission, NoiseInsteadOfAnAnswerIsALinkDownNotARefusal) {
    port.script({
        {"at+cmgs=", "\x01\x7f#%OK!\x02"},      // line noise, no prompt and no result code
        {"00", ""},                             // nothing more
        {"AT+CMGF=0", "AT+CMGF=0\r\r\nOK\r\n"}, // the modem set up again after reopening
        {"at+cmgs=", "\r\n> "},                 // prompt for the PDU
        {"00", "\r\n+CMGS: 4\r\n\r\nOK\r\n"},   // sent
    });
    submit_to_recipient(ctx, "13900000001", chinese(), 1, 0);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(report("FAIL"), "");
    EXPECT_EQ(report("SUCC").substr(0, 4), "1.0,");
    EXPECT_NE(output.prepended().at(0).find(gbk("应答无法识别")), std::string::npos);
}

TEST_F(Submission, RecipientThatIsNoNumberGetsAFailureLineAndNoTraffic) {
    port.standing(accepting_modem());
    EXPECT_EQ(outcome(submit_to_recipient(ctx, "abc", chinese(), 4, 2)), "not sent: 不是手机号码");
    EXPECT_TRUE(port.writes().empty());
    EXPECT_EQ(report("FAIL"), "4.2," + now_text() + "   abc    " + gbk("你好") + "\r\r\n");
    EXPECT_EQ(output.prepended(), std::vector<std::string>{"SMS Create Day: 2004-5-6      abc   0" +
                                                           gbk("    发送失败!!!  不是手机号码\r\n")});
}

struct ResolveCase {
    const char* name;
    bool with_category_file;
    std::string recipient;
    std::string destination_semi_octets;
};

class SubmissionResolve : public Submission, public ::testing::WithParamInterface<ResolveCase> {};

TEST_P(SubmissionResolve, ResolvesTheNumberBeforeBuildingThePdu) {
    if (GetParam().with_category_file) {
        make_customer_dir();
        ASSERT_TRUE(category_write(gbk("客户"), gbk("采购部"), std::string("13800000002")));
    }
    port.standing(accepting_modem());
    submit_to_recipient(ctx, GetParam().recipient, chinese(), 1, 0);
    ASSERT_EQ(sent_pdus().size(), 1u);
    EXPECT_EQ(sent_pdus()[0].substr(12, GetParam().destination_semi_octets.size()), GetParam().destination_semi_octets);
}

const ResolveCase resolves[] = {
    {"plain_number", false, "13900000001", "3109000000F1"},
    {"semicolon_and_rest_dropped", false, "13900000001;xyz", "3109000000F1"},
    {"customer_token", true, gbk("客户") + "\x02" + gbk("采购部") + ";", "3108000000F2"},
    {"twelve_characters", false, "861390000000", "683109000000"},
};

INSTANTIATE_TEST_SUITE_P(Table, SubmissionResolve, ::testing::ValuesIn(resolves),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Submission, TokenWithoutCategoryFileResolvesToTheNameAndFailsWithoutTraffic) {
    port.standing(accepting_modem());
    const std::string name = gbk("采购部");
    EXPECT_EQ(outcome(submit_to_recipient(ctx, gbk("客户") + "\x02" + name, chinese(), 1, 0)),
              "not sent: 不是手机号码");
    EXPECT_TRUE(port.writes().empty());
    EXPECT_NE(report("FAIL").find("   " + name + "    "), std::string::npos);
    EXPECT_NE(trace_text().find("name3=[" + name + "]"), std::string::npos);
}

TEST_F(Submission, ThirteenCharactersAreReportedButNeverSent) {
    port.standing(accepting_modem());
    EXPECT_EQ(outcome(submit_to_recipient(ctx, "8613900000001", chinese(), 4, 1)), "not sent: 号码超过12位");
    EXPECT_TRUE(port.writes().empty());
    EXPECT_EQ(report("FAIL"), "4.1," + now_text() + "   8613900000001    " + gbk("你好") + "\r\r\n");
    EXPECT_EQ(output.prepended(), std::vector<std::string>{"SMS Create Day: 2004-5-6      8613900000001   0" +
                                                           gbk("    发送失败!!!  号码超过12位\r\n")});
}

TEST_F(Submission, TraceShowsTheStepsInOrder) {
    port.standing(accepting_modem());
    submit_to_recipient(ctx, "13900000001", chinese(), 3, 0);
    std::string trace = trace_text();
    std::vector<std::string> steps = {">>>>>smssend star=[3][13900000001][4F60597D]",
                                      "weizhi=[-1][13900000001]",
                                      "name3=[13900000001]",
                                      "name4=[13900000001]",
                                      "shouji_code=[13900000001],strlen(ShouJiHao)=11",
                                      "shouji_code=[13900000001],strlen(ShouJiHao)=11.jjj=11.lleenn=13",
                                      "shouji_code2=3109000000F1",
                                      "2--shouji_code=[13900000001],strlen(ShouJiHao)=11,lleenn=13",
                                      "22sms_ss=[0011000D91683109000000F1000830044F60597D]",
                                      "--41,ss_sms=0011000D91683109000000F1000830044F60597D\x1a",
                                      "cmgs=at+cmgs=19\r",
                                      "~~~~~~~~~~Sleep=3000",
                                      "read_com1(cmgs)=",
                                      ">>>>>smssend END!!!!= "};
    std::size_t at = 0;
    for (const auto& step : steps) {
        std::size_t found = trace.find(step, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << step;
        at = found + step.size();
    }
}

} // namespace
