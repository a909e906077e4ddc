#include "modem/pdu/pdu_codec.h"
#include "platform/gbk.h"
#include "platform/termios_serial_port.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// Control characters made visible, for failure messages.
std::string visible(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20) {
            out += "\\x" + std::to_string(c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// The gateway's side of the line, opened with plain POSIX calls and set raw.
class Line {
public:
    explicit Line(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        termios tio{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~Line() { close(); }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    void write(std::string_view bytes) { ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

    // Up to `count` bytes, waiting at most `patience_ms` for them all.
    std::string read(size_t count, int patience_ms = 3000) {
        std::string got;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(patience_ms);
        while (got.size() < count) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            char buffer[4096];
            ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) {
                break;
            }
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }

    // Whatever arrives within `ms`: for a modem that is meant to stay silent.
    std::string read_for(int ms) { return read(4096, ms); }

    // Writes `sent` and reads as many bytes as `expected` has. Any byte beyond them shows up in the
    // next exchange.
    void expect(std::string_view sent, std::string_view expected) {
        write(sent);
        EXPECT_EQ(visible(read(expected.size())), visible(expected)) << "after writing " << visible(sent);
    }

private:
    int fd_;
};

// A simulator started in the test's working directory, its device linked at ./modem, its control
// socket at ./ctl and its record in ./rec.log.
class ModemSim : public TempDirTest {
protected:
    void TearDown() override {
        stop();
        TempDirTest::TearDown();
    }

    // Starts the simulator and waits for its "ready" line.
    bool start(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {program(), "--link", "modem", "--control", "ctl", "--record", "rec.log"};
        args.insert(args.end(), extra.begin(), extra.end());
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            return false;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            std::vector<char*> argv;
            for (auto& a : args) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        std::string ready;
        pollfd p{out[0], POLLIN, 0};
        char c;
        while (ready.find('\n') == std::string::npos && ::poll(&p, 1, 5000) > 0 && ::read(out[0], &c, 1) == 1) {
            ready += c;
        }
        ::close(out[0]);
        if (ready.rfind("ready /dev/", 0) != 0) {
            ADD_FAILURE() << "the simulator did not get ready: " << ready;
            return false;
        }
        device_ = ready.substr(6, ready.size() - 7);
        return true;
    }

    // Stops the simulator as a terminal or a script would; its exit status, or -1.
    int stop() {
        if (pid_ <= 0) {
            return -1;
        }
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ProgramResult ctl(const std::vector<std::string>& words) {
        std::vector<std::string> args = {"ctl", "ctl"};
        args.insert(args.end(), words.begin(), words.end());
        return run_program(program(), args);
    }

    // Runs a control command that must succeed and returns its output.
    std::string ctl_ok(const std::vector<std::string>& words) {
        ProgramResult r = ctl(words);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        return r.out;
    }

    static std::string program() { return built_program("programs/vmsms-modemsim"); }

    pid_t pid_ = -1;
    std::string device_;
};

// --- Commands -----------------------------------------------------------------------------------------

struct Exchange {
    const char* sent;
    const char* answer;
};

TEST_F(ModemSim, AnswersAtCommandsWithEchoAndResultCodes) {
    ASSERT_TRUE(start());
    Line line("modem");
    ASSERT_TRUE(line.is_open());
    const Exchange conversation[] = {
        {"AT\r", "AT\r\r\nOK\r\n"},                             // echo includes the CR; verbose result
        {"at+cmgf=0\r\n", "at+cmgf=0\r\r\nOK\r\n"},             // the LF after CR is neither echoed nor run
        {"AT+CMGF=1\r", "AT+CMGF=1\r\r\nERROR\r\n"},            // PDU mode only
        {"AT+CMGF?\r", "AT+CMGF?\r\r\n+CMGF: 0\r\n\r\nOK\r\n"}, // read form
        {"AT+XYZ\r", "AT+XYZ\r\r\nERROR\r\n"},                  // unknown command
        {"hello\r", "hello\r"},                                 // no AT prefix: echoed, not answered
        {"ATE0\r", "ATE0\r\r\nOK\r\n"},                         // echo off after this line
        {"AT\r", "\r\nOK\r\n"},
        {"AT+CMGF=0;+CSQ\r", "\r\n+CSQ: 25,99\r\n\r\nOK\r\n"}, // chained extended commands
        {"ATE1 E1\r", "\r\nOK\r\n"},                           // basic commands back to back
        {"aT\r", "aT\r\r\nOK\r\n"},
    };
    for (const Exchange& e : conversation) {
        line.expect(e.sent, e.answer);
    }
}

TEST_F(ModemSim, NoEchoOptionStartsWithEchoOffAndAtzKeepsIt) {
    ASSERT_TRUE(start({"--no-echo"}));
    Line line("modem");
    line.expect("AT\r", "\r\nOK\r\n");
    line.expect("ATE1\r", "\r\nOK\r\n");
    line.expect("AT\r", "AT\r\r\nOK\r\n");
    line.expect("ATZ\r", "ATZ\r\r\nOK\r\n");
    line.expect("AT\r", "\r\nOK\r\n");
}

// --- Sending ------------------------------------------------------------------------------------------

const char hello_pdu[] = "0011000D91683109000000F10000A705E8329BFD06"; // to +8613900000001, 7-bit "hello"
const char nihao_pdu[] = "0011000D91683109000000F1000830044F60597D";   // to +8613900000001, UCS-2 你好
// Service centre +8613800000500, destination 13900000001 national, UCS-2 你好, announced as 176.
const char fixed_length_pdu[] = "0891683108000005F011000B813109000000F10008A7044F60597D";

struct SendCase {
    const char* name;
    std::vector<std::string> options;
    std::string command;
    std::string pdu;    // with its Ctrl-Z or Escape
    bool before_prompt; // written together with the command, as the gateway may
    std::string answer; // after the PDU's echo
    std::string record; // the line recorded, or "" for none
};

class ModemSimSend : public ModemSim, public ::testing::WithParamInterface<SendCase> {};

TEST_P(ModemSimSend, TakesThePduAndRecordsItDecoded) {
    const SendCase& c = GetParam();
    ASSERT_TRUE(start(c.options));
    Line line("modem");
    std::string prompt = c.command + "\r\n> ";
    std::string echo = c.pdu.substr(0, c.pdu.size() - 1);
    if (c.before_prompt) {
        line.expect(c.command + c.pdu, prompt + echo + c.answer);
    } else {
        line.expect(c.command, prompt);
        line.expect(c.pdu, echo + c.answer);
    }
    line.expect("AT\r", "AT\r\r\nOK\r\n"); // back in command mode
    std::string recorded = c.record.empty() ? "" : c.record + "\n";
    EXPECT_EQ(ctl_ok({"sent"}), recorded);
    EXPECT_EQ(file_bytes("rec.log"), recorded);
}

const std::string sent_ok = "\r\n+CMGS: 1\r\n\r\nOK\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, ModemSimSend,
    ::testing::Values(SendCase{"SevenBitAfterPrompt",
                               {},
                               "at+cmgs=20\r",
                               std::string(hello_pdu) + "\x1a",
                               false,
                               sent_ok,
                               "sent ref=1 length=20 to=+8613900000001 coding=7bit smsc=- pdu=" +
                                   std::string(hello_pdu) + " text=hello"},
                      SendCase{"SevenBitBeforePrompt",
                               {},
                               "at+cmgs=20\r",
                               std::string(hello_pdu) + "\x1a",
                               true,
                               sent_ok,
                               "sent ref=1 length=20 to=+8613900000001 coding=7bit smsc=- pdu=" +
                                   std::string(hello_pdu) + " text=hello"},
                      SendCase{"Ucs2BeforePrompt",
                               {},
                               "AT+CMGS=19\r",
                               std::string(nihao_pdu) + "\x1a",
                               true,
                               sent_ok,
                               "sent ref=1 length=19 to=+8613900000001 coding=ucs2 smsc=- pdu=" +
                                   std::string(nihao_pdu) + " text=你好"},
                      SendCase{"LowerCaseHexIsTaken",
                               {},
                               "at+cmgs=19\r",
                               "0011000d91683109000000f1000830044f60597d\x1a",
                               false,
                               sent_ok,
                               "sent ref=1 length=19 to=+8613900000001 coding=ucs2 smsc=- "
                               "pdu=0011000d91683109000000f1000830044f60597d text=你好"},
                      SendCase{"LengthDiffersFromPdu",
                               {},
                               "at+cmgs=21\r",
                               std::string(hello_pdu) + "\x1a",
                               true,
                               "\r\n+CMS ERROR: 304\r\n",
                               "invalid ref=- length=21 to=+8613900000001 coding=7bit smsc=- pdu=" +
                                   std::string(hello_pdu) + " text=hello"},
                      SendCase{"FixedLengthRefusedByDefault",
                               {},
                               "at+cmgs=176\r",
                               std::string(fixed_length_pdu) + "\x1a",
                               true,
                               "\r\n+CMS ERROR: 304\r\n",
                               "invalid ref=- length=176 to=13900000001 coding=ucs2 smsc=8613800000500 pdu=" +
                                   std::string(fixed_length_pdu) + " text=你好"},
                      SendCase{"FixedLengthTakenWhenLengthIgnored",
                               {"--ignore-length"},
                               "at+cmgs=176\r",
                               std::string(fixed_length_pdu) + "\x1a",
                               true,
                               sent_ok,
                               "sent ref=1 length=176 to=13900000001 coding=ucs2 smsc=8613800000500 pdu=" +
                                   std::string(fixed_length_pdu) + " text=你好"},
                      SendCase{"NotAPdu",
                               {},
                               "at+cmgs=5\r",
                               "0011ZZ\x1a",
                               false,
                               "\r\n+CMS ERROR: 304\r\n",
                               "invalid ref=- length=5 to=- coding=- smsc=- pdu=0011ZZ text="},
                      SendCase{"StatusReportRequested",
                               {},
                               "at+cmgs=20\r",
                               "0031000D91683109000000F10000A705E8329BFD06\x1a",
                               false,
                               sent_ok,
                               "sent ref=1 length=20 to=+8613900000001 coding=7bit smsc=- srr=1 "
                               "pdu=0031000D91683109000000F10000A705E8329BFD06 text=hello"},
                      // Part 1 of 2 of long message 170, its header before the text.
                      SendCase{"PartOfALongMessage",
                               {},
                               "at+cmgs=25\r",
                               "0071000D91683109000000F10008A70A050003AA02014F60597D\x1a",
                               false,
                               sent_ok,
                               "sent ref=1 length=25 to=+8613900000001 coding=ucs2 smsc=- part=1/2 ref=170 srr=1 "
                               "pdu=0071000D91683109000000F10008A70A050003AA02014F60597D text=你好"},
                      SendCase{"EscapeCancels", {}, "at+cmgs=20\r", "001100\x1b", false, "\r\nOK\r\n", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModemSim, SendCommandWithoutLengthIsAnError) {
    ASSERT_TRUE(start());
    Line line("modem");
    line.expect("AT+CMGS\r", "AT+CMGS\r\r\nERROR\r\n");
    line.expect("AT+CMGS=abc\r", "AT+CMGS=abc\r\r\nERROR\r\n");
}

TEST_F(ModemSim, ReferencesCountUpAcrossSends) {
    ASSERT_TRUE(start({"--no-echo"}));
    Line line("modem");
    for (int ref = 1; ref <= 3; ++ref) {
        line.expect("at+cmgs=20\r" + std::string(hello_pdu) + "\x1a",
                    "\r\n> \r\n+CMGS: " + std::to_string(ref) + "\r\n\r\nOK\r\n");
    }
}

// --- Receiving ----------------------------------------------------------------------------------------

// What the modem lists for the two messages delivered by deliver_two(), checked against python3-gammu
// when they were first written down.
const std::string national_pdu = "0891683108000005F0040B813109000000F100004250607010502303AA980C";
const std::string international_pdu = "0891683108000005F0040D91683109000000F1000842506070105023044F60597D";

class ModemSimInbox : public ModemSim {
protected:
    void deliver_two() {
        EXPECT_EQ(ctl_ok({"deliver", "--from", "13900000001", "--text", "*12", "--time", "24050607010532"}),
                  "stored 1\n");
        EXPECT_EQ(
            ctl_ok({"deliver", "--from", "+8613900000001", "--ucs2", "--text", "你好", "--time", "24050607010532"}),
            "stored 2\n");
    }
    static std::string entries(int stat) {
        return "+CMGL: 1," + std::to_string(stat) + ",,22\r\n" + national_pdu + "\r\n+CMGL: 2," + std::to_string(stat) +
               ",,24\r\n" + international_pdu + "\r\n";
    }
};

struct ListingLayout {
    const char* name;
    std::vector<std::string> options;
    std::string after_echo;
};

class ModemSimListing : public ModemSimInbox, public ::testing::WithParamInterface<ListingLayout> {};

// The line the gateway's inbox pass takes as line K of the listing: the text between the (K-1)-th
// and the K-th line feed.
std::string listing_line(const std::string& listing, int k) {
    std::istringstream in(listing);
    std::string line;
    for (int i = 0; i < k && std::getline(in, line); ++i) {
    }
    return line;
}

TEST_P(ModemSimListing, ListsEveryStoredMessageInTheGatewaysLayout) {
    ASSERT_TRUE(start(GetParam().options));
    deliver_two();
    Line line("modem");
    std::string expected = "at+cmgl=4\r" + GetParam().after_echo + entries(0) + "\r\nOK\r\n";
    line.write("at+cmgl=4\r\n");
    std::string listing = line.read(expected.size());
    ASSERT_EQ(visible(listing), visible(expected));

    // Walked as the inbox pass walks it: a short line 2 is the blank line some modems put first.
    int k = listing_line(listing, 2).size() < 8 ? 3 : 2;
    EXPECT_EQ(k, GetParam().after_echo.size() > 2 ? 3 : 2);
    NullTrace trace;
    const std::pair<const char*, std::string> messages[] = {{"1", "*12"}, {"2", gbk("你好")}};
    for (const auto& [index, text] : messages) {
        std::string header = listing_line(listing, k++);
        EXPECT_EQ(header.substr(7, header.find(',') - 7), index);
        ReceivedMessage received = decode_received_pdu(listing_line(listing, k++), trace);
        EXPECT_EQ(received.sender, "13900000001");
        EXPECT_EQ(received.text, text);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, ModemSimListing,
                         ::testing::Values(ListingLayout{"Usual", {}, "\r\n"},
                                           ListingLayout{"BlankLine", {"--blank-line-listing"}, "\r\n\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModemSimInbox, LayoutCanBeSwitchedWhileRunning) {
    ASSERT_TRUE(start({"--no-echo"}));
    deliver_two();
    Line line("modem");
    ctl_ok({"layout", "blank-line"});
    line.expect("at+cmgl=4\r\n", "\r\n\r\n" + entries(0) + "\r\nOK\r\n");
    ctl_ok({"layout", "usual"});
    line.expect("at+cmgl=4\r\n", "\r\n" + entries(1) + "\r\nOK\r\n");
}

TEST_F(ModemSimInbox, ListingMarksMessagesReadAndFiltersByStatus) {
    ASSERT_TRUE(start({"--no-echo"}));
    deliver_two();
    Line line("modem");
    line.expect("AT+CMGL=1\r", "\r\nOK\r\n");
    line.expect("AT+CMGL=0\r", "\r\n" + entries(0) + "\r\nOK\r\n");
    line.expect("AT+CMGL=0\r", "\r\nOK\r\n");
    line.expect("AT+CMGL=4\r", "\r\n" + entries(1) + "\r\nOK\r\n");
    line.expect("AT+CMGL=5\r", "\r\n+CMS ERROR: 302\r\n");
}

TEST_F(ModemSimInbox, DeleteEmptiesTheSlotAndNewMessagesRefillIt) {
    ASSERT_TRUE(start({"--no-echo"}));
    deliver_two();
    Line line("modem");
    line.expect("at+cmgd=1\r\n", "\r\nOK\r\n");
    line.expect("at+cmgl=4\r\n", "\r\n+CMGL: 2,0,,24\r\n" + international_pdu + "\r\n\r\nOK\r\n");
    line.expect("at+cmgd=1\r\n", "\r\nOK\r\n");               // an empty slot: nothing to complain about
    line.expect("at+cmgd=31\r\n", "\r\n+CMS ERROR: 321\r\n"); // beyond the 30 slots
    line.expect("at+cmgd=x\r\n", "\r\nERROR\r\n");
    EXPECT_EQ(ctl_ok({"deliver", "--from", "10086", "--text", "x"}), "stored 1\n");
    line.expect("at+cmgd=2\r\n", "\r\nOK\r\n");
    EXPECT_EQ(ctl_ok({"stored"}).substr(0, 14), "index=1 stat=0");
    line.expect("AT+CMGD=1,4\r", "\r\nOK\r\n");
    line.expect("at+cmgl=4\r\n", "\r\nOK\r\n");
}

TEST_F(ModemSimInbox, ReadsOneMessageAndMarksItRead) {
    ASSERT_TRUE(start({"--no-echo"}));
    deliver_two();
    Line line("modem");
    line.expect("AT+CMGR=1\r", "\r\n+CMGR: 0,,22\r\n" + national_pdu + "\r\n\r\nOK\r\n");
    line.expect("AT+CMGR=1\r", "\r\n+CMGR: 1,,22\r\n" + national_pdu + "\r\n\r\nOK\r\n");
    line.expect("AT+CMGR=3\r", "\r\n+CMS ERROR: 321\r\n");
}

// A full receiving memory leaves new messages with the network, which delivers them as slots free, in
// the order they came; put straight into a memory, a long message goes in whole or not at all.
TEST_F(ModemSimInbox, FullMemoryLeavesMessagesWithTheNetworkUntilASlotFrees) {
    ASSERT_TRUE(start({"--no-echo", "--capacity", "2"}));
    Line line("modem");
    line.expect("AT+CNMI=2,1,0,0,0\r", "\r\nOK\r\n");
    ProgramResult r = ctl({"deliver", "--memory", "SM", "--from", "10086", "--text", "abc", "--parts", "3"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("no room for 3 parts"), std::string::npos) << r.err;
    EXPECT_EQ(ctl_ok({"stored"}), "");
    EXPECT_EQ(ctl_ok({"deliver", "--from", "10086", "--text", "a"}), "stored 1\n");
    EXPECT_EQ(ctl_ok({"deliver", "--from", "10086", "--text", "b"}), "stored 2\n");
    EXPECT_EQ(ctl_ok({"deliver", "--from", "10086", "--text", "c"}), "held 1\n");
    EXPECT_EQ(ctl_ok({"deliver", "--from", "10086", "--text", "d"}), "held 1\n");
    EXPECT_EQ(visible(line.read(200, 1000)), visible("\r\n+CMTI: \"SM\",1\r\n\r\n+CMTI: \"SM\",2\r\n"
                                                     "\r\n^SMMEMFULL: \"SM\"\r\n\r\n^SMMEMFULL: \"SM\"\r\n"));
    EXPECT_NE(ctl_ok({"status"}).find(" held=2 "), std::string::npos);
    line.expect("AT+CMGD=2\r", "\r\n+CMTI: \"SM\",2\r\n\r\nOK\r\n");
    std::string stored = ctl_ok({"stored"});
    EXPECT_NE(stored.find("index=2 stat=0 length="), std::string::npos) << stored;
    EXPECT_NE(stored.find("text=c\n"), std::string::npos) << stored;
    line.expect("AT+CMGD=1\r", "\r\n+CMTI: \"SM\",1\r\n\r\nOK\r\n");
    EXPECT_NE(ctl_ok({"stored"}).find("text=d\n"), std::string::npos);
    EXPECT_NE(ctl_ok({"status"}).find(" held=0 "), std::string::npos);
}

// Delivered messages read back by an independent decoder: python3-gammu.
struct DeliverCase {
    std::vector<std::string> args;
    std::string decoded; // number|text|coding|service centre, as gammu reports them
};

TEST_F(ModemSimInbox, DeliveredPdusDecodeWithGammu) {
    if (run_program("/usr/bin/python3", {"-c", "import gammu"}).exit_code != 0) {
        GTEST_SKIP() << "python3-gammu is not installed";
    }
    ASSERT_TRUE(start());
    const DeliverCase cases[] = {
        {{"--from", "13900000001", "--text", "*12"}, "13900000001|*12|Default_No_Compression|+8613800000500"},
        {{"--from", "+8613900000001", "--text", "你好"}, "+8613900000001|你好|Unicode_No_Compression|+8613800000500"},
        {{"--from", "10086", "--ucs2", "--text", "Hi"}, "10086|Hi|Unicode_No_Compression|+8613800000500"},
        {{"--from", "13900000001", "--7bit", "--text", "[a]{b}"},
         "13900000001|[a]{b}|Default_No_Compression|+8613800000500"},
        {{"--from", "vmSMS", "--text", "hi"}, "vmSMS|hi|Default_No_Compression|+8613800000500"},
        {{"--from", "13900000001", "--no-smsc", "--text", "x"}, "13900000001|x|Default_No_Compression|"},
        {{"--from", "13900000001", "--smsc", "+8613900000000", "--text", "x"},
         "13900000001|x|Default_No_Compression|+8613900000000"},
    };
    std::string expected;
    for (const DeliverCase& c : cases) {
        std::vector<std::string> words = {"deliver"};
        words.insert(words.end(), c.args.begin(), c.args.end());
        ctl_ok(words);
        expected += c.decoded + "\n";
    }
    std::string pdus;
    std::istringstream stored(ctl_ok({"stored"}));
    for (std::string entry; std::getline(stored, entry);) {
        size_t at = entry.find(" pdu=") + 5;
        pdus += entry.substr(at, entry.find(' ', at) - at) + "\n";
    }
    // gammu counts the text of escaped characters in septets and pads it after a NUL: cut there.
    const char* script =
        "import gammu, sys\n"
        "for line in sys.stdin:\n"
        "    d = gammu.DecodePDU(bytes.fromhex(line.strip()))\n"
        "    print('|'.join([d['Number'], d['Text'].split('\\0')[0], d['Coding'], d['SMSC']['Number']]))\n";
    ProgramResult decoded = run_program("/usr/bin/python3", {"-c", script}, pdus);
    ASSERT_EQ(decoded.exit_code, 0) << decoded.err;
    EXPECT_EQ(decoded.out, expected);
}

// --- Faults -------------------------------------------------------------------------------------------

TEST_F(ModemSim, SilentModemDropsEverythingUntilTheFaultIsCleared) {
    ASSERT_TRUE(start());
    Line line("modem");
    ctl_ok({"fault", "silent"});
    line.write("AT\r");
    line.write("at+cmgs=20\r" + std::string(hello_pdu) + "\x1a");
    EXPECT_EQ(visible(line.read_for(300)), "");
    ctl_ok({"fault", "none"});
    // Had the modem kept the bytes it ignored, they would come before this answer.
    line.expect("AT\r", "AT\r\r\nOK\r\n");
    EXPECT_EQ(ctl_ok({"sent"}), "");
}

TEST_F(ModemSim, ErrorFaultFailsEverySendAndLeavesOtherCommandsAlone) {
    ASSERT_TRUE(start({"--no-echo"}));
    Line line("modem");
    ctl_ok({"fault", "error"});
    std::string send = "at+cmgs=20\r" + std::string(hello_pdu) + "\x1a";
    line.expect(send, "\r\n> \r\n+CMS ERROR: 500\r\n");
    line.expect(send, "\r\n> \r\n+CMS ERROR: 500\r\n");
    line.expect("AT\r", "\r\nOK\r\n");
    std::string failed =
        "failed ref=- length=20 to=+8613900000001 coding=7bit smsc=- pdu=" + std::string(hello_pdu) + " text=hello\n";
    EXPECT_EQ(ctl_ok({"sent"}), failed + failed);
}

TEST_F(ModemSim, FailCountFailsThatManySendsThenSends) {
    ASSERT_TRUE(start({"--no-echo"}));
    Line line("modem");
    ctl_ok({"fault", "fail", "2"});
    std::string send = "at+cmgs=20\r" + std::string(hello_pdu) + "\x1a";
    line.expect(send, "\r\n> \r\n+CMS ERROR: 500\r\n");
    line.expect(send, "\r\n> \r\n+CMS ERROR: 500\r\n");
    line.expect(send, "\r\n> \r\n+CMGS: 1\r\n\r\nOK\r\n");
    EXPECT_EQ(
        ctl_ok({"status"}),
        "fault=none failing=0 layout=usual release=clear stored=0/30 submissions=3 line=plugged device=" + device_ +
            "\nlatency=0\ncnmi=0,0,0,0,0\nreports=delivered report-delay=1000 waiting=0\n"
            "sim=ready tries=3 pins-entered=0 imei=351234567890124 iccid=89860012345678901234\n"
            "memories=SM:0/30 cpms=SM,SM,SM held=0 delete-error=none relist=none\n");
}

// A real modem keeps what was typed when the port closes: a PDU half typed by a gateway that was killed
// swallows the next session's commands, until ESC cancels it.
TEST_F(ModemSim, ReleaseKeepLeavesAHalfTypedPduThatOnlyEscEnds) {
    ASSERT_TRUE(start());
    ctl_ok({"release", "keep"});
    {
        Line line("modem");
        line.expect("at+cmgs=20\r", "at+cmgs=20\r\r\n> ");
        line.expect("0011", "0011");
    }
    EXPECT_NE(ctl_ok({"status"}).find("release=keep"), std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the release is noticed
    Line line("modem");
    line.expect("AT\r", "AT\r"); // taken into the PDU: echoed, not answered
    line.expect("\x1b", "\r\nOK\r\n");
    line.expect("AT\r", "AT\r\r\nOK\r\n");
    // ESC in command state drops the line typed so far, without a word.
    line.expect("ATXYZ", "ATXYZ");
    line.write("\x1b");
    line.expect("AT\r", "AT\r\r\nOK\r\n");
}

TEST_F(ModemSim, ReleaseClearForgetsAHalfTypedPdu) {
    ASSERT_TRUE(start());
    {
        Line line("modem");
        line.expect("at+cmgs=20\r", "at+cmgs=20\r\r\n> ");
        line.expect("0011", "0011");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Line line("modem");
    line.expect("AT\r", "AT\r\r\nOK\r\n");
}

TEST_F(ModemSim, RejectFaultAnswersErrorToEveryCommand) {
    ASSERT_TRUE(start());
    Line line("modem");
    ctl_ok({"fault", "reject"});
    line.expect("AT\r", "AT\r\r\nERROR\r\n");
    line.expect("at+cmgs=20\r", "at+cmgs=20\r\r\nERROR\r\n");
}

// What in `bytes` a reader waiting for a modem's result could take for one, or "" when nothing: an
// "OK" that ends a line, in any letter case and with blanks before the line feed (a reader that
// searches for the word as well as one that compares whole lines), or a "+CMGS:".
std::string answer_in(const std::string& bytes) {
    std::string upper = bytes;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    if (size_t at = upper.find("+CMGS:"); at != std::string::npos) {
        return bytes.substr(at, 6);
    }
    for (size_t at = upper.find("OK"); at != std::string::npos; at = upper.find("OK", at + 1)) {
        size_t end = upper.find_first_not_of(" \t\r", at + 2);
        if (end != std::string::npos && upper[end] == '\n') {
            return bytes.substr(at > 8 ? at - 8 : 0, end + 1 - (at > 8 ? at - 8 : 0));
        }
    }
    return {};
}

bool has_binary_byte(const std::string& bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](unsigned char c) { return c >= 0x80; });
}

bool link_exists(const std::string& path) {
    return std::filesystem::exists(std::filesystem::symlink_status(path));
}

// Whether `path` appears within five seconds.
bool link_appears(const std::string& path) {
    for (int i = 0; i < 100 && !link_exists(path); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return link_exists(path);
}

// Whatever the line sends until it has been quiet for a while, or `limit` bytes.
std::string drain(Line& line, size_t limit) {
    std::string got;
    for (std::string more; got.size() < limit && !(more = line.read_for(300)).empty();) {
        got += more;
    }
    return got;
}

TEST_F(ModemSimInbox, UnplugHangsThePortUpAndReplugLinksAFreshModemWithItsMemory) {
    ASSERT_TRUE(start());
    deliver_two();
    Line line("modem");
    line.expect("ATE0\r", "ATE0\r\r\nOK\r\n");
    line.expect("at+cmgs=20\r" + std::string(hello_pdu) + "\x1a", "\r\n> \r\n+CMGS: 1\r\n\r\nOK\r\n");

    EXPECT_EQ(ctl_ok({"fault", "unplug"}), "");
    // The gateway's open port: hung up, reading end of file, writing EIO; the device and the link gone.
    pollfd p{line.fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 3000), 1);
    EXPECT_TRUE(p.revents & POLLHUP) << p.revents;
    char c;
    EXPECT_LE(::read(line.fd(), &c, 1), 0);
    errno = 0;
    EXPECT_EQ(::write(line.fd(), "AT\r", 3), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_FALSE(link_exists("modem"));
    EXPECT_FALSE(std::filesystem::exists(device_));

    // Still under control while unplugged.
    EXPECT_NE(ctl_ok({"status"}).find(" line=unplugged\n"), std::string::npos);
    EXPECT_EQ(ctl_ok({"deliver", "--pdu", national_pdu}), "stored 3\n");
    for (const char* fault : {"unplug", "garbage --count 5"}) {
        std::vector<std::string> words = {"fault"};
        std::istringstream rest(fault);
        for (std::string word; rest >> word;) {
            words.push_back(word);
        }
        ProgramResult r = ctl(words);
        EXPECT_EQ(r.exit_code, 1) << fault;
        EXPECT_NE(r.err.find("unplugged"), std::string::npos) << r.err;
    }

    std::string plugged = ctl_ok({"fault", "replug"});
    ASSERT_TRUE(link_exists("modem"));
    EXPECT_EQ(plugged, "plugged " + std::filesystem::read_symlink("modem").string() + "\n");
    Line fresh("modem");
    ASSERT_TRUE(fresh.is_open());
    fresh.expect("AT\r", "AT\r\r\nOK\r\n"); // echo on again: the modem started afresh
    fresh.expect("ATE0\r", "ATE0\r\r\nOK\r\n");
    fresh.expect("AT+CMGL=4\r",
                 "\r\n" + entries(0) + "+CMGL: 3,0,,22\r\n" + national_pdu + "\r\n\r\nOK\r\n"); // storage kept
    EXPECT_EQ(ctl_ok({"sent"}), "sent ref=1 length=20 to=+8613900000001 coding=7bit smsc=- pdu=" +
                                    std::string(hello_pdu) + " text=hello\n");
}

TEST_F(ModemSim, UnplugForSecondsPlugsBackInByItself) {
    ASSERT_TRUE(start());
    // Held as the gateway holds it: exclusively, and still open when the new device comes.
    auto gateway = TermiosSerialPort::open("modem");
    ASSERT_NE(gateway, nullptr);
    ASSERT_TRUE(gateway->configure(19200));
    ctl_ok({"fault", "unplug", "--for", "0.5"});
    EXPECT_FALSE(link_exists("modem"));
    char c;
    EXPECT_EQ(gateway->read(&c, 1), 0u);
    EXPECT_TRUE(gateway->broken());

    ASSERT_TRUE(link_appears("modem"));
    auto reopened = TermiosSerialPort::open("modem");
    ASSERT_NE(reopened, nullptr) << "the old port still bars the new device";
    ASSERT_TRUE(reopened->configure(19200));
    ASSERT_EQ(reopened->write("AT\r"), 3u);
    char answer[10] = {};
    EXPECT_EQ(reopened->read(answer, 9), 9u);
    EXPECT_EQ(visible(answer), visible("AT\r\r\nOK\r\n"));
    EXPECT_NE(ctl_ok({"status"}).find(" line=plugged device=/dev/"), std::string::npos);
}

TEST_F(ModemSim, SilenceForSecondsLiftsByItself) {
    ASSERT_TRUE(start());
    Line line("modem");
    ctl_ok({"fault", "silent", "--for", "1"});
    line.write("AT\r");
    EXPECT_EQ(visible(line.read_for(300)), "");
    EXPECT_EQ(ctl_ok({"status"}).substr(0, 13), "fault=silent ");
    // Asked again and again: every question before the silence lifts goes unanswered, even unechoed.
    std::string answer;
    for (int i = 0; i < 25 && answer.empty(); ++i) {
        line.write("AT\r");
        answer = line.read_for(200);
    }
    EXPECT_EQ(visible(answer), visible("AT\r\r\nOK\r\n"));
    EXPECT_EQ(ctl_ok({"status"}).substr(0, 11), "fault=none ");
}

TEST_F(ModemSim, TheTimeOfAnEarlierFaultLeavesALaterChangeAlone) {
    ASSERT_TRUE(start());
    ctl_ok({"fault", "silent", "--for", "0.2"});
    ctl_ok({"fault", "reject"});
    ctl_ok({"fault", "unplug", "--for", "0.2"});
    ctl_ok({"fault", "replug"});
    Line line("modem");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // Neither lifted the rejection nor plugged in a second time, which would hang this port up.
    line.expect("AT\r", "AT\r\r\nERROR\r\n");
    EXPECT_EQ(ctl_ok({"status"}).substr(0, 13), "fault=reject ");
}

TEST_F(ModemSim, FaultNoneClearsEveryFault) {
    ASSERT_TRUE(start({"--no-echo"}));
    const std::vector<std::vector<std::string>> faults = {
        {"silent"}, {"silent", "--for", "60"}, {"error"}, {"reject"}, {"endless-listing"}, {"garbage"}, {"fail", "2"},
        {"unplug"}, {"unplug", "--for", "60"},
    };
    int reference = 0;
    for (const auto& fault : faults) {
        std::vector<std::string> words = {"fault"};
        std::string named = "fault";
        for (const std::string& word : fault) {
            words.push_back(word);
            named += " " + word;
        }
        SCOPED_TRACE(named);
        ctl_ok(words);
        EXPECT_EQ(ctl_ok({"fault", "none"}), "");
        std::string status = ctl_ok({"status"});
        EXPECT_EQ(status.substr(0, 21), "fault=none failing=0 ");
        EXPECT_NE(status.find(" line=plugged device=/dev/"), std::string::npos) << status;
        Line line("modem");
        ASSERT_TRUE(line.is_open());
        line.expect("AT+CMGL\r", "\r\nOK\r\n");
        line.expect("at+cmgs=20\r" + std::string(hello_pdu) + "\x1a",
                    "\r\n> \r\n+CMGS: " + std::to_string(++reference) + "\r\n\r\nOK\r\n");
    }
}

TEST_F(ModemSimInbox, EndlessListingNeverFinishesAndStopsWhenCleared) {
    ASSERT_TRUE(start());
    deliver_two();
    Line line("modem");
    ctl_ok({"fault", "endless-listing"});
    line.write("AT+CMGL=4\r");
    std::string stream = line.read(256 * 1024);
    ASSERT_EQ(stream.size(), 256u * 1024) << "the listing ended: " << visible(stream.substr(stream.size() - 40));
    line.write("AT\r"); // a modem that is busy listing takes no commands
    EXPECT_EQ(ctl_ok({"status"}).substr(0, 22), "fault=endless-listing ");

    ctl_ok({"fault", "none"});
    std::string rest = drain(line, 1 << 20);
    ASSERT_LT(rest.size(), 1u << 20) << "the listing went on after the fault was cleared";
    stream += rest;
    // The messages over and over, whole entries only, nothing else between them.
    const std::string start = "AT+CMGL=4\r\r\n";
    const std::string round = entries(0);
    std::string expected = start;
    while (expected.size() < stream.size()) {
        expected += round;
    }
    EXPECT_TRUE(stream == expected) << "the listing strays from its entries";
    EXPECT_EQ(answer_in(stream), "");

    line.expect("AT\r", "AT\r\r\nOK\r\n");
    line.expect("AT+CMGL=4\r", "AT+CMGL=4\r\r\n" + entries(1) + "\r\nOK\r\n");
}

TEST_F(ModemSim, GarbageHoldsNoResultALineReaderWouldTake) {
    ASSERT_TRUE(start());
    Line line("modem");
    ctl_ok({"fault", "garbage"});
    std::string commands;
    for (int i = 0; i < 100; ++i) {
        commands += "AT\r";
    }
    line.write(commands + "at+cmgs=20\r" + std::string(hello_pdu) + "\x1a");
    std::string noise = drain(line, 1 << 20);
    EXPECT_GE(noise.size(), 102u * 8) << "every command and the PDU are answered";
    EXPECT_EQ(visible(answer_in(noise)), "");
    EXPECT_TRUE(has_binary_byte(noise));
    EXPECT_EQ(ctl_ok({"sent"}), "");
    ctl_ok({"fault", "none"});
    line.expect("AT\r", "AT\r\r\nOK\r\n");

    // Noise once and unasked, which the next answer may not turn into a result line either.
    ctl_ok({"fault", "garbage", "--count", "20000"});
    std::string burst = line.read(20000);
    EXPECT_EQ(burst.size(), 20000u);
    line.expect("AT\r", "AT\r\r\nOK\r\n");
    EXPECT_EQ(visible(answer_in(burst)), "");
    EXPECT_EQ(ctl_ok({"status"}).substr(0, 11), "fault=none ");
}

// --- Submit latency and new-message indications ------------------------------------------------------

using std::chrono::milliseconds;

const std::string send_hello = "at+cmgs=20\r" + std::string(hello_pdu) + "\x1a";

milliseconds since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
}

TEST_F(ModemSim, SubmitLatencyHoldsTheAnswerButNotTheEcho) {
    ASSERT_TRUE(start({"--submit-latency", "600"}));
    Line line("modem");
    line.expect("at+cmgs=20\r", "at+cmgs=20\r\r\n> ");
    auto submitted = std::chrono::steady_clock::now();
    line.write(std::string(hello_pdu) + "\x1a");
    // The echo well within the latency, then nothing until the network has answered.
    EXPECT_EQ(visible(line.read(std::strlen(hello_pdu), 300)), hello_pdu);
    EXPECT_EQ(visible(line.read_for(200)), "");
    EXPECT_EQ(visible(line.read(sent_ok.size())), visible(sent_ok));
    EXPECT_GE(since(submitted), milliseconds(600));
    line.expect("AT\r", "AT\r\r\nOK\r\n");
}

TEST_F(ModemSim, InputDuringASubmissionIsWorkedThroughAfterItsAnswerInOrder) {
    ASSERT_TRUE(start({"--no-echo", "--submit-latency", "300"}));
    Line line("modem");
    auto submitted = std::chrono::steady_clock::now();
    line.expect(send_hello, "\r\n> ");
    // Arrives while the modem is busy with the network: a command, a second submission, a command.
    line.write("AT+CSQ\r" + send_hello + "AT\r");
    std::string expected =
        sent_ok + "\r\n+CSQ: 25,99\r\n\r\nOK\r\n" + "\r\n> \r\n+CMGS: 2\r\n\r\nOK\r\n" + "\r\nOK\r\n";
    EXPECT_EQ(visible(line.read(expected.size())), visible(expected));
    EXPECT_GE(since(submitted), milliseconds(600)) << "the second submission took no time";
    auto record = [](int ref) {
        return "sent ref=" + std::to_string(ref) +
               " length=20 to=+8613900000001 coding=7bit smsc=- pdu=" + std::string(hello_pdu) + " text=hello\n";
    };
    EXPECT_EQ(ctl_ok({"sent"}), record(1) + record(2));
}

TEST_F(ModemSim, LatencyCanBeChangedWhileRunning) {
    ASSERT_TRUE(start({"--no-echo", "--submit-latency", "60000"}));
    EXPECT_NE(ctl_ok({"status"}).find("\nlatency=60000\n"), std::string::npos);
    ctl_ok({"latency", "0"});
    Line line("modem");
    line.expect(send_hello, "\r\n> " + sent_ok); // a minute at the old latency
    ctl_ok({"latency", "300"});
    auto submitted = std::chrono::steady_clock::now();
    line.expect(send_hello, "\r\n> \r\n+CMGS: 2\r\n\r\nOK\r\n");
    EXPECT_GE(since(submitted), milliseconds(300));
    EXPECT_NE(ctl_ok({"status"}).find("\nlatency=300\n"), std::string::npos);
}

TEST_F(ModemSim, RefusesASubmitLatencyOrReportDelayOutOfRange) {
    const std::pair<const char*, const char*> options[] = {{"--submit-latency", "submit latency"},
                                                           {"--report-delay", "report delay"}};
    for (const auto& [option, named] : options) {
        for (const char* value : {"60001", "-1", "0.5", "soon"}) {
            // The link's directory does not exist: a simulator that took the value would end at once.
            ProgramResult r = run_program(program(), {"--link", "none/modem", option, value});
            EXPECT_EQ(r.exit_code, 2) << option << " " << value;
            EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
        }
    }
}

TEST_F(ModemSim, KeepsAndChecksTheNewMessageIndicationSettings) {
    ASSERT_TRUE(start({"--no-echo"}));
    Line line("modem");
    const std::string refused = "\r\n+CMS ERROR: 303\r\n";
    const Exchange conversation[] = {
        {"AT+CNMI?\r", "\r\n+CNMI: 0,0,0,0,0\r\n\r\nOK\r\n"}, // off at start
        {"AT+CNMI=?\r", "\r\n+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)\r\n\r\nOK\r\n"},
        {"AT+CNMI=3,3,3,2,1;+CNMI?\r", "\r\n+CNMI: 3,3,3,2,1\r\n\r\nOK\r\n"}, // the highest of each
        {"AT+CNMI=2,1\r", "\r\nOK\r\n"},                                      // the values left off are 0
        {"AT+CNMI?\r", "\r\n+CNMI: 2,1,0,0,0\r\n\r\nOK\r\n"},
        // Values the modem does not offer, and one too many.
        {"AT+CNMI=4\r", refused.c_str()},
        {"AT+CNMI=2,4\r", refused.c_str()},
        {"AT+CNMI=2,1,4\r", refused.c_str()},
        {"AT+CNMI=2,1,0,3\r", refused.c_str()},
        {"AT+CNMI=2,1,0,0,2\r", refused.c_str()},
        {"AT+CNMI=1,1,0,0,0,0\r", refused.c_str()},
        // Not numbers at all.
        {"AT+CNMI=x\r", "\r\nERROR\r\n"},
        {"AT+CNMI=1,,0\r", "\r\nERROR\r\n"},
        {"AT+CNMI=\r", "\r\nERROR\r\n"},
        {"AT+CNMI\r", "\r\nERROR\r\n"},
        {"AT+CNMI?\r", "\r\n+CNMI: 2,1,0,0,0\r\n\r\nOK\r\n"}, // none of those changed anything
        // A reset turns the indications off again.
        {"ATZ\r", "\r\nOK\r\n"},
        {"AT+CNMI?\r", "\r\n+CNMI: 0,0,0,0,0\r\n\r\nOK\r\n"},
        {"AT+CNMI=1,1;&F;+CNMI?\r", "\r\n+CNMI: 0,0,0,0,0\r\n\r\nOK\r\n"},
    };
    for (const Exchange& e : conversation) {
        line.expect(e.sent, e.answer);
    }
    line.expect("AT+CNMI=2,1,0,0,1\r", "\r\nOK\r\n");
    EXPECT_NE(ctl_ok({"status"}).find("\ncnmi=2,1,0,0,1\n"), std::string::npos);
}

struct IndicationCase {
    const char* name;
    const char* setting;            // AT+CNMI's values
    std::vector<std::string> fault; // set after AT+CNMI, or none
    bool announced;
};

class ModemSimIndication : public ModemSim, public ::testing::WithParamInterface<IndicationCase> {};

TEST_P(ModemSimIndication, AnnouncesADeliveredMessageOnlyWhenAskedTo) {
    const IndicationCase& c = GetParam();
    ASSERT_TRUE(start({"--no-echo"}));
    Line line("modem");
    line.expect(std::string("AT+CNMI=") + c.setting + "\r", "\r\nOK\r\n");
    if (!c.fault.empty()) {
        ctl_ok(c.fault);
    }
    EXPECT_EQ(ctl_ok({"deliver", "--from", "10086", "--text", "hi"}), "stored 1\n");
    if (c.announced) {
        EXPECT_EQ(visible(line.read(17)), visible("\r\n+CMTI: \"SM\",1\r\n"));
    } else {
        EXPECT_EQ(visible(line.read_for(300)), "");
    }
    ctl_ok({"fault", "none"});
    line.expect("AT\r", "\r\nOK\r\n"); // nothing more came, nor comes late
}

INSTANTIATE_TEST_SUITE_P(, ModemSimIndication,
                         ::testing::Values(IndicationCase{"Buffered", "2,1", {}, true},
                                           IndicationCase{"DiscardedWhenBusy", "1,1,0,0,1", {}, true},
                                           IndicationCase{"Forwarded", "3,1", {}, true},
                                           IndicationCase{"ModeOff", "0,1", {}, false},
                                           IndicationCase{"NotRouted", "2,0", {}, false},
                                           IndicationCase{"SilentModem", "2,1", {"fault", "silent"}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModemSim, AnnouncementNamesTheSlotTheMessageTook) {
    ASSERT_TRUE(start({"--no-echo"}));
    Line line("modem");
    line.expect("AT+CNMI=2,1,0,0,0\r", "\r\nOK\r\n");
    const std::vector<std::string> deliver = {"deliver", "--from", "10086", "--text", "hi"};
    ctl_ok(deliver);
    ctl_ok(deliver);
    std::string two = "\r\n+CMTI: \"SM\",1\r\n\r\n+CMTI: \"SM\",2\r\n";
    EXPECT_EQ(visible(line.read(two.size())), visible(two));
    line.expect("AT+CMGD=1\r", "\r\nOK\r\n");
    EXPECT_EQ(ctl_ok(deliver), "stored 1\n");
    EXPECT_EQ(visible(line.read(17)), visible("\r\n+CMTI: \"SM\",1\r\n")); // the freed slot, not a count
}

TEST_F(ModemSim, AnnouncesWhileASubmissionsAnswerIsHeld) {
    ASSERT_TRUE(start({"--no-echo", "--submit-latency", "800"}));
    Line line("modem");
    line.expect("AT+CNMI=2,1\r", "\r\nOK\r\n");
    line.expect(send_hello + "AT\r", "\r\n> ");
    // The control socket is served meanwhile, and the announcement goes out before the answer.
    EXPECT_EQ(ctl_ok({"deliver", "--from", "10086", "--text", "hi"}), "stored 1\n");
    std::string expected = "\r\n+CMTI: \"SM\",1\r\n" + sent_ok + "\r\nOK\r\n";
    EXPECT_EQ(visible(line.read(expected.size())), visible(expected));
}

TEST_F(ModemSim, ModemWithoutIndicationsRefusesCnmi) {
    ASSERT_TRUE(start({"--no-echo", "--no-indications"}));
    Line line("modem");
    for (const char* command : {"AT+CNMI=2,1\r", "AT+CNMI?\r", "AT+CNMI=?\r"}) {
        line.expect(command, "\r\n+CMS ERROR: 303\r\n");
    }
    line.expect("AT+CMGF=0\r", "\r\nOK\r\n");
    EXPECT_NE(ctl_ok({"status"}).find("\ncnmi=unsupported\n"), std::string::npos);
}

TEST_F(ModemSim, UnplugDropsASubmissionUnderWayAndTurnsIndicationsOff) {
    ASSERT_TRUE(start({"--no-echo", "--submit-latency", "400"}));
    auto submitted = std::chrono::steady_clock::now();
    {
        Line line("modem");
        line.expect("AT+CNMI=2,1\r", "\r\nOK\r\n");
        line.expect(send_hello + "AT\r", "\r\n> ");
        ctl_ok({"fault", "unplug"});
    }
    ctl_ok({"fault", "replug"});
    Line fresh("modem");
    ASSERT_TRUE(fresh.is_open());
    // Past the time the old answer was due: had it or the AT held behind it survived, they would come
    // before this answer.
    std::this_thread::sleep_for(milliseconds(500) - since(submitted));
    fresh.expect("AT+CNMI?\r", "\r\n+CNMI: 0,0,0,0,0\r\n\r\nOK\r\n");
    EXPECT_EQ(ctl_ok({"deliver", "--from", "10086", "--text", "hi"}), "stored 1\n");
    fresh.expect("AT\r", "\r\nOK\r\n"); // not announced
}

TEST_F(ModemSim, ClosingThePortDropsASubmissionUnderWay) {
    ASSERT_TRUE(start({"--no-echo", "--submit-latency", "400"}));
    auto submitted = std::chrono::steady_clock::now();
    {
        Line line("modem");
        line.expect(send_hello + "ATE1\r", "\r\n> ");
    }
    ctl_ok({"status"}); // the close has been handled once this is answered
    Line line("modem");
    std::this_thread::sleep_for(milliseconds(500) - since(submitted));
    // Neither the old answer nor the echo the held ATE1 would have turned on.
    line.expect("AT\r", "\r\nOK\r\n");
    EXPECT_NE(ctl_ok({"sent"}).find("sent ref=1 "), std::string::npos); // the network had it all the same
}

// --- Long messages and status reports -----------------------------------------------------------------

bool gammu_installed() {
    return run_program("/usr/bin/python3", {"-c", "import gammu"}).exit_code == 0;
}

// The fields of `line` between '|'; the last field keeps any '|' it holds.
std::vector<std::string> fields(const std::string& line, size_t count) {
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t i = 0; i + 1 < count; ++i) {
        size_t bar = line.find('|', at);
        out.push_back(line.substr(at, bar - at));
        at = bar == std::string::npos ? line.size() : bar + 1;
    }
    out.push_back(line.substr(std::min(at, line.size())));
    return out;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// One part of a long message as gammu submits it.
struct GammuPart {
    std::string command; // at+cmgs with the TPDU length, and the PDU with its Ctrl-Z
    std::string reference;
    std::string place; // "<sequence>/<count>"
    std::string text;
};

// `text` cut into parts and encoded by python3-gammu, each asking for a status report.
std::vector<GammuPart> gammu_long_submission(const std::string& text, bool unicode, bool sixteen_bit) {
    const char* script =
        "import gammu, sys\n"
        "sys.stdout.reconfigure(encoding='utf-8')\n"
        "text = sys.stdin.buffer.read().decode('utf-8')\n"
        "ident = 'ConcatenatedTextLong16bit' if sys.argv[2] == '1' else 'ConcatenatedTextLong'\n"
        "for m in gammu.EncodeSMS({'Class': -1, 'Unicode': sys.argv[1] == '1',\n"
        "                          'Entries': [{'ID': ident, 'Buffer': text}]}):\n"
        "    m['Number'] = '+8613900000001'\n"
        "    pdu = bytearray(gammu.EncodePDU(m))\n"
        "    pdu[pdu[0] + 1] |= 0x20\n" // TP-SRR in the first octet after the service centre
        "    u = m['UDH']\n"
        "    ref = u['ID16bit'] if u['ID16bit'] >= 0 else u['ID8bit']\n"
        "    print(len(pdu) - 1 - pdu[0], pdu.hex().upper(), ref, '%d/%d' % (u['PartNumber'], u['AllParts']),\n"
        "          m['Text'], sep='|')\n";
    ProgramResult r =
        run_program("/usr/bin/python3", {"-c", script, unicode ? "1" : "0", sixteen_bit ? "1" : "0"}, text);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::vector<GammuPart> parts;
    for (const std::string& line : lines_of(r.out)) {
        std::vector<std::string> f = fields(line, 5);
        parts.push_back(GammuPart{"at+cmgs=" + f[0] + "\r" + f[1] + "\x1a", f[2], f[3], f[4]});
    }
    return parts;
}

// PDUs decoded by python3-gammu, one line each: for a status report
// "report|<recipient>|<reference>|<status>|<service centre>", for a part of a long message
// "part|<sender>|<8|16>|<reference>|<sequence>/<count>|<text>".
std::vector<std::string> gammu_decoded(const std::vector<std::string>& pdus) {
    const char* script =
        "import gammu, sys\n"
        "sys.stdout.reconfigure(encoding='utf-8')\n"
        "for line in sys.stdin:\n"
        "    d = gammu.DecodePDU(bytes.fromhex(line.strip()))\n"
        "    if d['Type'] == 'Status_Report':\n"
        "        print('report', d['Number'], d['MessageReference'], d['DeliveryStatus'], d['SMSC']['Number'],\n"
        "              sep='|')\n"
        "        continue\n"
        "    u = d['UDH']\n"
        "    wide = u['ID16bit'] >= 0\n"
        "    print('part', d['Number'], 16 if wide else 8, u['ID16bit'] if wide else u['ID8bit'],\n"
        "          '%d/%d' % (u['PartNumber'], u['AllParts']), d['Text'].split('\\0')[0], sep='|')\n";
    std::string input;
    for (const std::string& pdu : pdus) {
        input += pdu + "\n";
    }
    ProgramResult r = run_program("/usr/bin/python3", {"-c", script}, input);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return lines_of(r.out);
}

// What the line sends up to and including `end`, or until it stays quiet for three seconds.
std::string read_until(Line& line, const std::string& end) {
    std::string got;
    while (got.size() < end.size() || got.compare(got.size() - end.size(), end.size(), end) != 0) {
        std::string more = line.read(1);
        if (more.empty()) {
            break;
        }
        got += more;
    }
    return got;
}

struct ListedEntry {
    std::string header; // "+CMGL: <index>,<stat>,,<length>"
    std::string pdu;
};

// The entries of an AT+CMGL=4 listing, asked for over `line` with echo off.
std::vector<ListedEntry> list_all(Line& line) {
    line.write("AT+CMGL=4\r");
    std::vector<std::string> lines = lines_of(read_until(line, "\r\nOK\r\n"));
    std::vector<ListedEntry> entries;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].rfind("+CMGL: ", 0) == 0) {
            auto strip = [](std::string text) { return text.substr(0, text.find('\r')); };
            entries.push_back(ListedEntry{strip(lines[i]), strip(lines[i + 1])});
        }
    }
    return entries;
}

// The TPDU length a listing or +CDS announces for a PDU with `pdu`'s nine-octet service-centre field.
std::string tpdu_length(const std::string& pdu) {
    return std::to_string(pdu.size() / 2 - 9);
}

struct LongSubmitCase {
    const char* name;
    std::string text; // UTF-8
    bool unicode;
    bool sixteen_bit;
    bool last_part_first; // the parts submitted from the last to the first
};

class ModemSimLongSubmit : public ModemSim, public ::testing::WithParamInterface<LongSubmitCase> {};

TEST_P(ModemSimLongSubmit, RecordsEachPartAndPutsTheMessageTogether) {
    const LongSubmitCase& c = GetParam();
    if (!gammu_installed()) {
        GTEST_SKIP() << "python3-gammu is not installed";
    }
    std::vector<GammuPart> parts = gammu_long_submission(c.text, c.unicode, c.sixteen_bit);
    ASSERT_GE(parts.size(), 2u);
    if (c.last_part_first) {
        std::reverse(parts.begin(), parts.end());
    }
    ASSERT_TRUE(start({"--no-echo"}));
    Line line("modem");
    for (size_t i = 0; i < parts.size(); ++i) {
        line.expect(parts[i].command, "\r\n> \r\n+CMGS: " + std::to_string(i + 1) + "\r\n\r\nOK\r\n");
    }
    std::vector<std::string> sent = lines_of(ctl_ok({"sent"}));
    ASSERT_EQ(sent.size(), parts.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        SCOPED_TRACE(sent[i]);
        // Each part's own text: for 7-bit data from the septet after the header's fill bits.
        EXPECT_NE(sent[i].find(" part=" + parts[i].place + " ref=" + parts[i].reference + " srr=1 pdu="),
                  std::string::npos);
        EXPECT_EQ(sent[i].substr(sent[i].find(" text=") + 6), parts[i].text);
    }
    EXPECT_EQ(ctl_ok({"messages"}), "message to=+8613900000001 ref=" + parts[0].reference +
                                        " parts=" + std::to_string(parts.size()) + "/" + std::to_string(parts.size()) +
                                        " complete=yes text=" + c.text + "\n");
}

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// gammu keeps an escape pair whole, so the first part of the 7-bit text ends one septet short.
INSTANTIATE_TEST_SUITE_P(, ModemSimLongSubmit,
                         ::testing::Values(LongSubmitCase{"SevenBitWithExtensionCharacters",
                                                          std::string(150, 'A') + "[]{}" + std::string(20, 'B') +
                                                              "~^|€",
                                                          false, false, false},
                                           LongSubmitCase{"Ucs2", repeated("你好，世界！", 20), true, false, false},
                                           LongSubmitCase{"SixteenBitReferenceLastPartFirst",
                                                          repeated("0123456789", 40), false, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// An SMS-SUBMIT to `to` (its address field) with a user-data header, and the command that sends it.
std::string send_with_header(const char* to, const char* dcs, int udl, const std::string& user_data) {
    char length[3];
    std::snprintf(length, sizeof length, "%02X", udl);
    std::string pdu = std::string("0051") + "00" + to + "00" + dcs + "A7" + length + user_data;
    return "at+cmgs=" + std::to_string(pdu.size() / 2 - 1) + "\r" + pdu + "\x1a";
}

const char to_international[] = "0D91683109000000F1";
const char to_national[] = "0B813109000000F1";

TEST_F(ModemSim, MessagesJoinsEachPartOnceAndOnlyWhatTheNetworkTook) {
    ASSERT_TRUE(start({"--no-echo"}));
    Line line("modem");
    // Parts of message 170: part 1 "你好" and part 2 "世界", in UCS-2.
    const std::string part1 = send_with_header(to_international, "08", 10, "050003AA02014F60597D");
    const std::string part2 = send_with_header(to_international, "08", 10, "050003AA02024E16754C");
    auto accepted = [](int ref) { return "\r\n> \r\n+CMGS: " + std::to_string(ref) + "\r\n\r\nOK\r\n"; };
    line.expect(part1, accepted(1));
    line.expect(send_hello, accepted(2));
    line.expect(part1, accepted(3)); // sent again, as after an answer that went astray
    // The same reference to another number is another message.
    line.expect(send_with_header(to_national, "08", 10, "050003AA02024E16754C"), accepted(4));
    ctl_ok({"fault", "fail", "1"});
    line.expect(part2, "\r\n> \r\n+CMS ERROR: 500\r\n");
    const std::string hello = "message to=+8613900000001 ref=- parts=1/1 complete=yes text=hello\n";
    const std::string other = "message to=13900000001 ref=170 parts=1/2 complete=no text=世界\n";
    EXPECT_EQ(ctl_ok({"messages"}),
              "message to=+8613900000001 ref=170 parts=1/2 complete=no text=你好\n" + hello + other);
    line.expect(part2, accepted(5));
    EXPECT_EQ(ctl_ok({"messages"}),
              "message to=+8613900000001 ref=170 parts=2/2 complete=yes text=你好世界\n" + hello + other);
    ctl_ok({"clear"});
    EXPECT_EQ(ctl_ok({"messages"}), "");
}

struct HeaderCase {
    const char* name;
    const char* dcs;
    int udl;
    std::string user_data; // the header with its length octet, then the text
    bool taken;
    std::string part; // what the record says of the part, for a header taken
};

class ModemSimHeader : public ModemSim, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(ModemSimHeader, RefusesADamagedHeaderAsAnInvalidPdu) {
    const HeaderCase& c = GetParam();
    ASSERT_TRUE(start({"--no-echo"}));
    Line line("modem");
    std::string send = send_with_header(to_international, c.dcs, c.udl, c.user_data);
    if (!c.taken) {
        line.expect(send, "\r\n> \r\n+CMS ERROR: 304\r\n");
        EXPECT_EQ(ctl_ok({"sent"}).substr(0, 14), "invalid ref=- ");
        EXPECT_EQ(ctl_ok({"messages"}), "");
    } else {
        line.expect(send, "\r\n> " + sent_ok);
        std::string record = ctl_ok({"sent"});
        EXPECT_NE(record.find(" smsc=- " + c.part + (c.part.empty() ? "" : " ") + "pdu="), std::string::npos) << record;
        EXPECT_EQ(record.substr(record.size() - 9), " text=hi\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    , ModemSimHeader,
    ::testing::Values(
        // An 8-bit header of six octets in five octets of user data.
        HeaderCase{"LongerThanTheUserData", "04", 5, "050003AA02", false, ""},
        // Six header octets fit in six septets' worth of octets, but with their fill bit they take seven.
        HeaderCase{"FillBitsPastTheUserData", "00", 6, "050003AA0201", false, ""},
        HeaderCase{"ElementPastTheHeader", "04", 7, "04000301026869", false, ""},
        HeaderCase{"ConcatenationElementTooShort", "04", 7, "040002AA026869", false, ""},
        HeaderCase{"CountZero", "04", 8, "050003AA00016869", false, ""},
        HeaderCase{"SequenceZero", "04", 8, "050003AA02006869", false, ""},
        HeaderCase{"SequenceAboveTheCount", "04", 8, "050003AA02036869", false, ""},
        // A port-addressing element before the concatenation element is stepped over.
        HeaderCase{"OtherElementsPassedOver", "04", 14, "0B05040B8423F00003AA02016869", true, "part=1/2 ref=170"},
        HeaderCase{"SixteenBitReference", "04", 9, "060804123403026869", true, "part=2/3 ref=4660"},
        // No concatenation element: a message in one piece with a header.
        HeaderCase{"NoConcatenationElement", "04", 9, "0605040B8423F06869", true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReportCase {
    const char* name;
    const char* cnmi;
    const char* fate;
    bool requested;   // the second submission asks for a report (the first never does)
    bool handed_over; // +CDS
    bool announced;   // kept and announced by +CDSI
    bool kept;
    int status; // as gammu reads TP-ST
};

class ModemSimStatusReport : public ModemSim, public ::testing::WithParamInterface<ReportCase> {};

const char hello_with_report_pdu[] = "0031000D91683109000000F10000A705E8329BFD06";

TEST_P(ModemSimStatusReport, ReportsTheFateOfASubmissionAsAtCnmiAsks) {
    const ReportCase& c = GetParam();
    if (!gammu_installed()) {
        GTEST_SKIP() << "python3-gammu is not installed";
    }
    ASSERT_TRUE(start({"--no-echo", "--report-delay", "400"}));
    Line line("modem");
    ctl_ok({"reports", c.fate});
    line.expect(std::string("AT+CNMI=") + c.cnmi + "\r", "\r\nOK\r\n");
    line.expect(send_hello, "\r\n> " + sent_ok);
    line.expect("at+cmgs=20\r" + std::string(c.requested ? hello_with_report_pdu : hello_pdu) + "\x1a",
                "\r\n> \r\n+CMGS: 2\r\n\r\nOK\r\n");
    auto answered = std::chrono::steady_clock::now();
    // The report is held back for the delay counted from when the simulator wrote the answer, a little
    // before this test had read it: it comes well after the answer, not at once.
    const auto held_back = milliseconds(300);
    bool reported = c.handed_over || c.kept;
    EXPECT_NE(
        ctl_ok({"status"})
            .find(std::string("\nreports=") + c.fate + " report-delay=400 waiting=" + (reported ? "1" : "0") + "\n"),
        std::string::npos);

    std::string report_pdu;
    if (c.handed_over) {
        // The blank line before it, the +CDS line, the PDU line.
        std::string cds;
        for (int i = 0; i < 3; ++i) {
            cds += read_until(line, "\r\n");
        }
        EXPECT_GE(since(answered), held_back);
        ASSERT_EQ(cds.substr(0, 8), "\r\n+CDS: ") << visible(cds);
        size_t pdu_at = cds.find("\r\n", 2) + 2;
        report_pdu = cds.substr(pdu_at, cds.size() - 2 - pdu_at);
        EXPECT_EQ(cds.substr(8, pdu_at - 10), tpdu_length(report_pdu));
    } else if (c.announced) {
        EXPECT_EQ(visible(line.read(18)), visible("\r\n+CDSI: \"SM\",1\r\n"));
        EXPECT_GE(since(answered), held_back);
    } else {
        EXPECT_EQ(visible(line.read_for(700)), "");
    }
    std::vector<ListedEntry> listed = list_all(line);
    if (c.kept) {
        ASSERT_EQ(listed.size(), 1u);
        report_pdu = listed[0].pdu;
        EXPECT_EQ(listed[0].header, "+CMGL: 1,0,," + tpdu_length(report_pdu));
    } else {
        EXPECT_EQ(listed.size(), 0u);
    }
    if (reported) {
        std::vector<std::string> decoded = gammu_decoded({report_pdu});
        ASSERT_EQ(decoded.size(), 1u);
        EXPECT_EQ(decoded[0], "report|+8613900000001|2|" + std::to_string(c.status) + "|+8613800000500");
    }
    EXPECT_NE(ctl_ok({"status"}).find(" waiting=0\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    , ModemSimStatusReport,
    ::testing::Values(ReportCase{"HandedOverWithCds", "2,1,0,1", "delivered", true, true, false, false, 0},
                      ReportCase{"KeptAndAnnouncedWithCdsi", "2,1,0,2", "failed", true, false, true, true, 0x41},
                      ReportCase{"KeptUnannounced", "2,1,0,0", "delivered", true, false, false, true, 0},
                      // Indications held by the modem: the report cannot be handed over, so it is kept.
                      ReportCase{"KeptWhileIndicationsAreOff", "0,0,0,1", "failed", true, false, false, true, 0x41},
                      ReportCase{"NoneSendsNothing", "2,1,0,1", "none", true, false, false, false, 0},
                      ReportCase{"NotAskedFor", "2,1,0,2", "delivered", false, false, false, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct LongDeliverCase {
    const char* name;
    std::vector<std::string> options; // after --from and --text
    std::string text;                 // UTF-8
    std::vector<std::string> parts;   // each part's text, by sequence
    std::vector<int> stored;          // the sequence stored in each slot from 1
    int bits;                         // of the reference
    int reference;                    // -1: the modem's choice
};

class ModemSimLongDeliver : public ModemSim, public ::testing::WithParamInterface<LongDeliverCase> {};

std::string comma_list(const std::vector<int>& numbers) {
    std::string text;
    for (int number : numbers) {
        text += (text.empty() ? "" : ",") + std::to_string(number);
    }
    return text;
}

TEST_P(ModemSimLongDeliver, StoresAndAnnouncesEachPartAsGammuReadsIt) {
    const LongDeliverCase& c = GetParam();
    if (!gammu_installed()) {
        GTEST_SKIP() << "python3-gammu is not installed";
    }
    ASSERT_TRUE(start({"--no-echo"}));
    Line line("modem");
    line.expect("AT+CNMI=2,1\r", "\r\nOK\r\n");
    std::vector<std::string> words = {"deliver", "--from", "+8613900000001", "--text", c.text};
    words.insert(words.end(), c.options.begin(), c.options.end());
    std::string reply = ctl_ok(words);

    std::string announcements;
    std::vector<int> slots;
    for (size_t i = 1; i <= c.stored.size(); ++i) {
        announcements += "\r\n+CMTI: \"SM\"," + std::to_string(i) + "\r\n";
        slots.push_back(static_cast<int>(i));
    }
    EXPECT_EQ(visible(line.read(announcements.size())), visible(announcements));
    std::vector<ListedEntry> listed = list_all(line);
    ASSERT_EQ(listed.size(), c.stored.size());
    std::vector<std::string> pdus;
    for (size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(listed[i].header, "+CMGL: " + std::to_string(i + 1) + ",0,," + tpdu_length(listed[i].pdu));
        pdus.push_back(listed[i].pdu);
    }
    std::vector<std::string> decoded = gammu_decoded(pdus);
    ASSERT_EQ(decoded.size(), c.stored.size());
    std::string reference = c.reference >= 0 ? std::to_string(c.reference) : fields(decoded[0], 6)[3];
    for (size_t i = 0; i < decoded.size(); ++i) {
        int sequence = c.stored[i];
        EXPECT_EQ(decoded[i], "part|+8613900000001|" + std::to_string(c.bits) + "|" + reference + "|" +
                                  std::to_string(sequence) + "/" + std::to_string(c.parts.size()) + "|" +
                                  c.parts[static_cast<size_t>(sequence - 1)]);
    }
    EXPECT_EQ(reply, "stored " + comma_list(slots) + " ref=" + reference + " parts=" + comma_list(c.stored) +
                         " count=" + std::to_string(c.parts.size()) + "\n");
}

INSTANTIATE_TEST_SUITE_P(, ModemSimLongDeliver,
                         ::testing::Values(
                             // 152 septets and an escape pair do not fit in 153: the pair goes to the next part whole.
                             LongDeliverCase{"AsManyAsTheSevenBitTextNeeds",
                                             {"--parts", "auto"},
                                             std::string(152, 'x') + "{" + std::string(153, 'y') + "z",
                                             {std::string(152, 'x'), "{" + std::string(151, 'y'), "yyz"},
                                             {1, 2, 3},
                                             8,
                                             -1},
                             LongDeliverCase{"AsManyAsTheUcs2TextNeeds",
                                             {"--parts", "auto", "--ref", "200"},
                                             repeated("你", 67) + "好",
                                             {repeated("你", 67), "好"},
                                             {1, 2},
                                             8,
                                             200},
                             LongDeliverCase{"OutOfOrderWithSixteenBitReference",
                                             {"--parts", "3", "--ref16", "--ref", "4660", "--order", "3,1,2"},
                                             "abcdefghi",
                                             {"abc", "def", "ghi"},
                                             {3, 1, 2},
                                             16,
                                             4660},
                             LongDeliverCase{"PartDropped",
                                             {"--parts", "3", "--drop", "2", "--ref", "7"},
                                             "abcdefghi",
                                             {"abc", "def", "ghi"},
                                             {1, 3},
                                             8,
                                             7},
                             LongDeliverCase{"PartDuplicated",
                                             {"--parts", "2", "--duplicate", "1", "--ref", "7"},
                                             "hello world",
                                             {"hello ", "world"},
                                             {1, 1, 2},
                                             8,
                                             7}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- The port -----------------------------------------------------------------------------------------

TEST_F(ModemSim, SurvivesThePortClosedAndReopened) {
    ASSERT_TRUE(start());
    for (int session = 0; session < 3; ++session) {
        Line line("modem");
        ASSERT_TRUE(line.is_open()) << "session " << session;
        line.expect("AT\r", "AT\r\r\nOK\r\n");
    }
}

TEST_F(ModemSim, ClosingThePortAbandonsAHalfSentPdu) {
    ASSERT_TRUE(start());
    {
        Line line("modem");
        line.expect("at+cmgs=20\r", "at+cmgs=20\r\r\n> ");
        line.write("0011");
    }
    // A control command is answered only after the notice of the close has been handled.
    ctl_ok({"status"});
    Line line("modem");
    line.expect("AT\r", "AT\r\r\nOK\r\n");
    EXPECT_EQ(ctl_ok({"sent"}), "");
}

TEST_F(ModemSim, GatewayKeepsThePortToItself) {
    ASSERT_TRUE(start());
    auto gateway = TermiosSerialPort::open("modem");
    ASSERT_NE(gateway, nullptr);
    ASSERT_TRUE(gateway->configure(19200));
    gateway->prepare();
    // Root passes the exclusive flag, so as root another plain opener comes and goes; its close must
    // not pass for the gateway letting go of the port.
    { Line passer("modem"); }
    ctl_ok({"status"});
    Line probe("modem");
    if (probe.is_open()) {
        int exclusive = -1;
        ASSERT_EQ(::ioctl(probe.fd(), TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
    }
    probe.close();
    EXPECT_EQ(TermiosSerialPort::open("modem"), nullptr) << "a second opener got the port";
    ASSERT_EQ(gateway->write("AT\r\n"), 4u);
    char answer[10] = {};
    EXPECT_EQ(gateway->read(answer, 9), 9u);
    EXPECT_EQ(visible(answer), visible("AT\r\r\nOK\r\n"));
    gateway->close();
    EXPECT_NE(TermiosSerialPort::open("modem"), nullptr);
}

TEST_F(ModemSim, GatewayThatDiesHoldingThePortLeavesItFree) {
    ASSERT_TRUE(start());
    pid_t child = ::fork();
    if (child == 0) {
        // Opens exclusively and ends without giving the port back.
        auto port = TermiosSerialPort::open("modem");
        ::_exit(port ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ctl_ok({"status"}); // the close has been handled once this is answered
    Line line("modem");
    ASSERT_TRUE(line.is_open());
    int exclusive = -1;
    ASSERT_EQ(::ioctl(line.fd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
}

// --- The program --------------------------------------------------------------------------------------

TEST_F(ModemSim, ReplacesTheLinkAndRemovesItAndTheSocketAtExit) {
    put_file("modem", "left over");
    ASSERT_TRUE(start());
    EXPECT_EQ(std::filesystem::read_symlink("modem").string(), device_);
    EXPECT_TRUE(std::filesystem::is_socket("ctl"));
    EXPECT_EQ(stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status("modem")));
    EXPECT_FALSE(std::filesystem::exists("ctl"));
}

TEST_F(ModemSim, QuitCommandEndsTheSimulator) {
    ASSERT_TRUE(start());
    EXPECT_EQ(ctl_ok({"quit"}), "");
    int status = 0;
    ASSERT_EQ(::waitpid(pid_, &status, 0), pid_);
    pid_ = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status("modem")));
}

struct ControlRefusal {
    const char* name;
    std::vector<std::string> words;
    const char* message;
};

class ModemSimControlRefusal : public ModemSim, public ::testing::WithParamInterface<ControlRefusal> {};

TEST_P(ModemSimControlRefusal, ExitsOneWithTheReason) {
    ASSERT_TRUE(start());
    ProgramResult r = ctl(GetParam().words);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
    EXPECT_EQ(ctl_ok({"stored"}), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModemSimControlRefusal,
    ::testing::Values(
        ControlRefusal{"UnknownCommand", {"dance"}, "unknown command"},
        ControlRefusal{"DeliverWithoutText", {"deliver", "--from", "10086"}, "--text"},
        ControlRefusal{"DeliverWithoutSender", {"deliver", "--text", "x"}, "--from"},
        ControlRefusal{"OddPdu", {"deliver", "--pdu", "123"}, "hex"},
        ControlRefusal{"BadTime", {"deliver", "--from", "1", "--text", "x", "--time", "2405"}, "14 digits"},
        ControlRefusal{"TextWithoutGbkForm", {"deliver", "--from", "1", "--text", "😀"}, "GBK"},
        ControlRefusal{"UnknownFault", {"fault", "smoke"}, "fault takes"},
        ControlRefusal{"UnknownLayout", {"layout", "wavy"}, "layout takes"},
        ControlRefusal{"NoFaultNamed", {"fault"}, "fault takes"},
        ControlRefusal{"SecondsNotANumber", {"fault", "silent", "--for", "soon"}, "--for takes seconds"},
        ControlRefusal{"ZeroSeconds", {"fault", "unplug", "--for", "0"}, "--for takes seconds"},
        ControlRefusal{"TooManyDecimals", {"fault", "silent", "--for", "0.0001"}, "--for takes seconds"},
        ControlRefusal{"SecondsMissing", {"fault", "garbage", "--for"}, "--for needs"},
        ControlRefusal{"WordAfterFault", {"fault", "reject", "loudly"}, "nothing more than --for"},
        ControlRefusal{"WordAfterNone", {"fault", "none", "now"}, "no more words"},
        ControlRefusal{"DurationForFail", {"fault", "fail", "2", "--for", "1"}, "fault fail takes"},
        ControlRefusal{"NoiseOfNoBytes", {"fault", "garbage", "--count", "0"}, "--count takes"},
        ControlRefusal{"NoiseWithoutCount", {"fault", "garbage", "--count"}, "--count takes"},
        ControlRefusal{"ReplugWhilePlugged", {"fault", "replug"}, "plugged in already"},
        ControlRefusal{"LatencyWithoutValue", {"latency"}, "latency takes"},
        ControlRefusal{"LatencyBeyondAMinute", {"latency", "60001"}, "latency takes"},
        ControlRefusal{"NegativeLatency", {"latency", "-1"}, "latency takes"},
        ControlRefusal{"LatencyInSeconds", {"latency", "0.5"}, "latency takes"},
        ControlRefusal{"UnknownReportFate", {"reports", "lost"}, "reports takes"},
        ControlRefusal{"ReportDelayBeyondAMinute", {"report-delay", "60001"}, "report-delay takes"},
        ControlRefusal{
            "PartOptionWithoutParts", {"deliver", "--from", "1", "--text", "x", "--ref", "5"}, "with --parts"},
        ControlRefusal{"PartsWithRawPdu", {"deliver", "--pdu", "00", "--parts", "2"}, "no --parts"},
        ControlRefusal{"TooFewPartsForTheText",
                       {"deliver", "--from", "1", "--text", std::string(154, 'x'), "--parts", "1"},
                       "needs 2 parts"},
        ControlRefusal{"MorePartsThanCharacters", {"deliver", "--from", "1", "--text", "ab", "--parts", "3"}, "fewer"},
        ControlRefusal{"OrderLeavesAPartOut",
                       {"deliver", "--from", "1", "--text", "abc", "--parts", "3", "--order", "3,1"},
                       "--order names each"},
        ControlRefusal{"DropBeyondTheParts",
                       {"deliver", "--from", "1", "--text", "ab", "--parts", "2", "--drop", "3"},
                       "parts 1 to 2"},
        ControlRefusal{
            "EveryPartDropped", {"deliver", "--from", "1", "--text", "a", "--parts", "1", "--drop", "1"}, "every part"},
        ControlRefusal{"EightBitReferenceAbove255",
                       {"deliver", "--from", "1", "--text", "ab", "--parts", "2", "--ref", "256"},
                       "--ref takes"},
        ControlRefusal{"PartNumberZero",
                       {"deliver", "--from", "1", "--text", "ab", "--parts", "2", "--duplicate", "0"},
                       "part numbers from 1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModemSim, ControlClientReportsAMissingSimulator) {
    ProgramResult r = ctl({"status"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("cannot reach"), std::string::npos) << r.err;
}

TEST_F(ModemSim, TextsWithSpacesAndLineBreaksSurviveTheControlLine) {
    ASSERT_TRUE(start());
    ctl_ok({"deliver", "--from", "10086", "--text", "a b\\c\r\nd"});
    std::string stored = ctl_ok({"stored"});
    EXPECT_NE(stored.find(" text=a b\\\\c\\r\\nd\n"), std::string::npos) << stored;
}

// --- Memories (AT+CPMS) -------------------------------------------------------------------------------

TEST_F(ModemSimInbox, TwoMemoriesAreOfferedSelectedAndCounted) {
    ASSERT_TRUE(start({"--no-echo"}));
    Line line("modem");
    line.expect("AT+CPMS=?\r", "\r\n+CPMS: (\"SM\"),(\"SM\"),(\"SM\")\r\n\r\nOK\r\n");
    ctl_ok({"storage", "SM", "2", "ME", "3"});
    line.expect("AT+CPMS=?\r", "\r\n+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")\r\n\r\nOK\r\n");
    EXPECT_EQ(ctl_ok({"deliver", "--from", "10086", "--text", "x"}), "stored 1\n"); // the SIM receives
    EXPECT_EQ(ctl_ok({"deliver", "--memory", "ME", "--from", "10086", "--text", "y"}), "stored 1\n");
    EXPECT_EQ(ctl_ok({"deliver", "--memory", "ME", "--from", "10086", "--text", "z"}), "stored 2\n");
    line.expect("AT+CPMS=\"ME\",\"SM\",\"ME\"\r", "\r\n+CPMS: 2,3,1,2,2,3\r\n\r\nOK\r\n");
    line.expect("AT+CMGD=1\r", "\r\nOK\r\n"); // the memory read is the phone's
    line.expect("AT+CPMS?\r", "\r\n+CPMS: \"ME\",1,3,\"SM\",1,2,\"ME\",1,3\r\n\r\nOK\r\n");
    line.expect("AT+CMGD=?\r", "\r\n+CMGD: (1-3),(0-4)\r\n\r\nOK\r\n");
    line.expect("AT+CPMS=\"MT\"\r", "\r\n+CMS ERROR: 302\r\n");
    std::string stored = ctl_ok({"stored"});
    EXPECT_EQ(stored.substr(0, 24), "memory=SM index=1 stat=0") << stored;
    EXPECT_NE(stored.find("\nmemory=ME index=2 stat=0"), std::string::npos) << stored;
    EXPECT_NE(ctl_ok({"status"}).find("\nmemories=SM:1/2,ME:1/3 cpms=ME,SM,ME held=0 delete-error=none relist=none\n"),
              std::string::npos);
    // A message the new receiving memory takes is announced under its name.
    line.expect("AT+CNMI=2,1,0,0,0\r", "\r\nOK\r\n");
    EXPECT_EQ(ctl_ok({"deliver", "--from", "10086", "--text", "w"}), "stored 1\n");
    EXPECT_EQ(visible(line.read(17, 1000)), visible("\r\n+CMTI: \"ME\",1\r\n"));
}

TEST_F(ModemSimInbox, StorageCommandsRefuseWhatNoModemHas) {
    ASSERT_TRUE(start());
    EXPECT_EQ(ctl_ok({"deliver", "--from", "10086", "--text", "x"}), "stored 1\n");
    EXPECT_EQ(ctl_ok({"deliver", "--from", "10086", "--text", "y"}), "stored 2\n");
    for (const std::vector<std::string>& words : {std::vector<std::string>{"storage"},
                                                  {"storage", "ME", "3"},
                                                  {"storage", "SM", "0"},
                                                  {"storage", "SM", "256"},
                                                  {"storage", "SM", "3", "SM", "4"},
                                                  {"storage", "SM", "3", "MT", "4"},
                                                  {"storage", "SM"},
                                                  {"storage", "SM", "1"},
                                                  {"storage", "delete-error", "-1"},
                                                  {"storage", "delete-error"},
                                                  {"deliver", "--memory", "ME", "--from", "1", "--text", "x"}}) {
        EXPECT_EQ(ctl(words).exit_code, 1) << words.back();
    }
    EXPECT_NE(ctl({"storage", "SM", "1"}).err.find("slot 2"), std::string::npos);
    EXPECT_NE(ctl_ok({"status"}).find("\nmemories=SM:2/30 cpms=SM,SM,SM held=0"), std::string::npos);
}

TEST_F(ModemSimInbox, DeleteErrorLeavesTheMessageForAsManyDeletesAsAsked) {
    ASSERT_TRUE(start({"--no-echo"}));
    deliver_two();
    Line line("modem");
    ctl_ok({"storage", "delete-error", "2"});
    EXPECT_NE(ctl_ok({"status"}).find(" delete-error=2 relist=none\n"), std::string::npos);
    line.expect("AT+CMGD=1\r", "\r\n+CMS ERROR: 320\r\n");
    line.expect("AT+CMGD=1\r", "\r\n+CMS ERROR: 320\r\n");
    line.expect("AT+CMGD=1\r", "\r\nOK\r\n");
    ctl_ok({"storage", "delete-error", "always"});
    line.expect("AT+CMGD=2\r", "\r\n+CMS ERROR: 320\r\n");
    EXPECT_EQ(ctl_ok({"stored"}).substr(0, 14), "index=2 stat=0");
    ctl_ok({"storage", "delete-error", "none"});
    line.expect("AT+CMGD=2\r", "\r\nOK\r\n");
    EXPECT_EQ(ctl_ok({"stored"}), "");
}

} // namespace
