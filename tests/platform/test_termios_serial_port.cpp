#include "platform/termios_serial_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A pseudo-terminal standing in for the modem's line: the port opens the slave by its path, the
// test plays the modem on the master.
class PtyTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[128] = {};
        ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        path = name;
    }
    void TearDown() override {
        if (master >= 0) {
            ::close(master);
        }
        ::close(slave);
    }

    void modem_sends(const std::string& bytes) {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // What the gateway wrote, as far as it arrives within a second.
    std::string modem_receives(std::size_t count) {
        std::string got;
        auto deadline = steady_clock::now() + milliseconds(1000);
        while (got.size() < count && steady_clock::now() < deadline) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char buf[256];
                ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0) {
                    got.append(buf, static_cast<std::size_t>(n));
                }
            }
        }
        return got;
    }

    // Input reaches the slave's queue asynchronously; wait until it is there.
    bool slave_has_input() {
        pollfd p{slave, POLLIN, 0};
        return ::poll(&p, 1, 2000) > 0;
    }

    std::unique_ptr<TermiosSerialPort> open_configured() {
        auto port = TermiosSerialPort::open(path);
        if (port && !port->configure(19200)) {
            port.reset();
        }
        return port;
    }

    int master = -1;
    int slave = -1;
    std::string path;
};

TEST_F(PtyTest, ConfigureSetsARawEightBitLine) {
    auto port = TermiosSerialPort::open(path);
    ASSERT_NE(port, nullptr);

    ASSERT_TRUE(port->configure(19200));

    termios tio{};
    ASSERT_EQ(::tcgetattr(slave, &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), B19200);
    EXPECT_EQ(::cfgetispeed(&tio), B19200);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | INPCK), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);

    // Raw both ways: line ends pass untouched and nothing is echoed back to the modem.
    port->write("AT+CMGF=0\r\n");
    EXPECT_EQ(modem_receives(11), "AT+CMGF=0\r\n");
    modem_sends("\r\nOK\r\n");
    char buf[6];
    EXPECT_EQ(port->read(buf, sizeof buf), 6u);
    EXPECT_EQ(std::string(buf, 6), "\r\nOK\r\n");
    EXPECT_EQ(modem_receives(1), "");
}

struct RateCase {
    const char* name;
    std::uint32_t baud;
    bool accepted;
};

class RateTest : public PtyTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(RateTest, AcceptsOnlyRatesTheLineCanRun) {
    auto port = TermiosSerialPort::open(path);
    ASSERT_NE(port, nullptr);
    termios before{};
    ASSERT_EQ(::tcgetattr(slave, &before), 0);

    EXPECT_EQ(port->configure(GetParam().baud), GetParam().accepted);

    if (!GetParam().accepted) {
        termios after{};
        ASSERT_EQ(::tcgetattr(slave, &after), 0);
        EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before)); // a rejected rate changes nothing
        EXPECT_EQ(after.c_lflag, before.c_lflag);
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, RateTest,
                         ::testing::Values(RateCase{"usual_modem_rate", 19200, true}, RateCase{"slow", 9600, true},
                                           RateCase{"fast", 115200, true}, RateCase{"zero_from_no_number", 0, false},
                                           RateCase{"non_standard", 12345, false},
                                           RateCase{"huge", 4294967295u, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PtyTest, OpenFailsForAMissingDevice) {
    EXPECT_EQ(TermiosSerialPort::open(path + "-missing"), nullptr);
    EXPECT_EQ(TermiosSerialPort::open("/dev/vmsms-no-such-device"), nullptr);
}

TEST_F(PtyTest, SecondOpenerInTheSameProcessIsRefusedUntilClose) {
    auto first = TermiosSerialPort::open(path);
    ASSERT_NE(first, nullptr);

    EXPECT_EQ(TermiosSerialPort::open(path), nullptr);

    first->close();
    EXPECT_NE(TermiosSerialPort::open(path), nullptr);
}

TEST_F(PtyTest, SecondOpenerInAnotherProcessIsRefused) {
    auto first = TermiosSerialPort::open(path);
    ASSERT_NE(first, nullptr);

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child inherits the descriptor; the refusal must come from the device, not from it.
        first.release();
        ::_exit(TermiosSerialPort::open(path) == nullptr ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the child opened a port this process holds";
}

TEST_F(PtyTest, ReadReturnsAsSoonAsTheCountHasArrived) {
    auto port = open_configured();
    ASSERT_NE(port, nullptr);
    modem_sends("\r\nOK\r\n");

    char buf[6];
    EXPECT_EQ(port->read(buf, sizeof buf), 6u);
    EXPECT_EQ(std::string(buf, 6), "\r\nOK\r\n");
}

TEST_F(PtyTest, ReadWaitsForTheDeadlineAndReturnsWhatCame) {
    auto port = open_configured();
    ASSERT_NE(port, nullptr);
    modem_sends("\r\n+CMGS");
    // The rest comes well within the deadline (5 ms x 64 + 1000 ms), but after the first part.
    std::thread late([&] {
        std::this_thread::sleep_for(milliseconds(300));
        modem_sends(": 7\r\n");
    });

    auto start = steady_clock::now();
    char buf[64];
    std::size_t n = port->read(buf, sizeof buf);
    auto took = steady_clock::now() - start;
    late.join();

    EXPECT_EQ(std::string(buf, n), "\r\n+CMGS: 7\r\n");
    EXPECT_GE(took, milliseconds(300)); // did not give up after the first part
}

TEST_F(PtyTest, ReadOfNothingWaitsOutTheDeadlineWithoutSpinning) {
    auto port = open_configured();
    ASSERT_NE(port, nullptr);

    std::clock_t cpu_before = std::clock();
    auto start = steady_clock::now();
    char buf[4];
    EXPECT_EQ(port->read(buf, sizeof buf), 0u);
    auto took = steady_clock::now() - start;
    double cpu_ms = 1000.0 * static_cast<double>(std::clock() - cpu_before) / CLOCKS_PER_SEC;

    EXPECT_GE(took, milliseconds(1000)); // 5 ms x 4 + 1000 ms, less the clock's rounding
    EXPECT_LT(cpu_ms, 300.0) << "the read kept the processor busy while it waited";
}

TEST_F(PtyTest, ReadOnAHungUpLineDoesNotSpin) {
    auto port = open_configured();
    ASSERT_NE(port, nullptr);
    ::close(master); // the modem's end goes away: every poll now reports a hang-up at once
    master = -1;

    std::clock_t cpu_before = std::clock();
    char buf[512];
    EXPECT_EQ(port->read(buf, sizeof buf), 0u);
    double cpu_ms = 1000.0 * static_cast<double>(std::clock() - cpu_before) / CLOCKS_PER_SEC;

    EXPECT_LT(cpu_ms, 300.0) << "the read kept the processor busy on a dead line";
}

TEST_F(PtyTest, HungUpLineReportsItselfBroken) {
    auto port = open_configured();
    ASSERT_NE(port, nullptr);
    EXPECT_FALSE(port->broken());
    ::close(master);
    master = -1;
    char buf[16];
    port->read(buf, sizeof buf);
    EXPECT_TRUE(port->broken());
}

TEST_F(PtyTest, InterruptEndsAReadFromAnotherThread) {
    auto port = open_configured();
    ASSERT_NE(port, nullptr);
    // Asked for this much, the read would otherwise wait for more than ten minutes.
    constexpr std::size_t count = 200000;
    std::vector<char> buf(count);
    std::size_t got = 1;
    std::thread reader([&] { got = port->read(buf.data(), count); });
    std::this_thread::sleep_for(milliseconds(100));
    port->interrupt();
    reader.join();
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(port->broken()) << "an interrupted read is no broken line";

    // An interrupt before a read ends that read; the one after it waits as usual for what comes.
    port->interrupt();
    EXPECT_EQ(port->read(buf.data(), count), 0u);
    modem_sends("OK");
    EXPECT_EQ(port->read(buf.data(), 2), 2u);
}

TEST_F(PtyTest, PrepareDropsQueuedInput) {
    auto port = open_configured();
    ASSERT_NE(port, nullptr);
    modem_sends("\r\nRING\r\n");
    ASSERT_TRUE(slave_has_input());

    port->prepare();

    char buf[8];
    EXPECT_EQ(port->read(buf, sizeof buf), 0u);
    modem_sends("\r\nOK\r\n"); // the line still works after the purge
    EXPECT_EQ(port->read(buf, 6), 6u);
}

struct DeviceCase {
    const char* name;
    std::string setting;
    std::string path;
};

class DevicePathTest : public ::testing::TestWithParam<DeviceCase> {};

TEST_P(DevicePathTest, MapsTheComSettingToADevice) {
    EXPECT_EQ(device_path_for(GetParam().setting), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, DevicePathTest,
    ::testing::Values(DeviceCase{"com1", "COM1", "/dev/ttyS0"}, DeviceCase{"above_nine", "COM12", "/dev/ttyS11"},
                      DeviceCase{"lower_case", "com3", "/dev/ttyS2"}, DeviceCase{"mixed_case", "cOm2", "/dev/ttyS1"},
                      DeviceCase{"leading_zero", "COM01", "/dev/ttyS0"},
                      DeviceCase{"port_zero_is_a_name", "COM0", "/dev/COM0"},
                      DeviceCase{"no_number", "COM", "/dev/COM"}, DeviceCase{"not_a_number", "COM1a", "/dev/COM1a"},
                      DeviceCase{"usb_adapter", "ttyUSB0", "/dev/ttyUSB0"},
                      DeviceCase{"absolute_path", "/tmp/modem", "/tmp/modem"},
                      DeviceCase{"relative_path", "./modem", "./modem"},
                      DeviceCase{"long_name_kept_whole", std::string(255, 'a'), "/dev/" + std::string(255, 'a')}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
