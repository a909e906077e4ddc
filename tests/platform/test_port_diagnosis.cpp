#include "platform/gbk.h"
#include "platform/port_diagnosis.h"
#include "platform/termios_serial_port.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class PortDiagnosis : public TempDirTest {};

TEST_F(PortDiagnosis, AMissingDeviceIsNamedWithWhatToCheck) {
    EXPECT_EQ(port_open_failure("/nonexistent/ttyVMSMS1"),
              gbk("串口 /nonexistent/ttyVMSMS1 无法打开：没有这个设备：检查数据线是否插好，串口名称是否正确"));
}

TEST_F(PortDiagnosis, AFileThatIsNoTerminalIsNoSerialDevice) {
    put_file("not-a-tty", "x");
    EXPECT_EQ(port_open_failure("not-a-tty"), gbk("串口 not-a-tty 无法打开：这不是串口设备（不是终端设备）"));
}

TEST_F(PortDiagnosis, ADeviceHeldByAnotherProcessNamesThatProcess) {
    int master = -1;
    int slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t holder = ::fork();
    if (holder == 0) {
        // The holder keeps the device as the gateway's engine does, and waits to be killed.
        auto port = TermiosSerialPort::open(name);
        char c = port ? '1' : '0';
        [[maybe_unused]] ssize_t n = ::write(ready[1], &c, 1);
        ::pause();
        std::_Exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, '1');
    std::string said = port_open_failure(name);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(master);
    EXPECT_NE(said.find(gbk("设备正被进程 ") + std::to_string(holder)), std::string::npos) << said;
    EXPECT_NE(said.find("/proc/" + std::to_string(holder)), std::string::npos) << said;
}

// Run as an unprivileged user, a device only root may open tells to join the dialout group.
TEST_F(PortDiagnosis, PermissionDeniedTellsToJoinTheDialoutGroup) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to become another user";
    }
    put_file("device", "x");
    ASSERT_EQ(::chmod("device", 0600), 0);
    ASSERT_EQ(::chmod(dir().c_str(), 0755), 0);
    int answer[2];
    ASSERT_EQ(::pipe(answer), 0);
    pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            std::_Exit(2);
        }
        std::string said = port_open_failure(dir() + "/device");
        [[maybe_unused]] ssize_t n = ::write(answer[1], said.data(), said.size());
        std::_Exit(0);
    }
    ::close(answer[1]);
    std::string said;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(answer[0], buffer, sizeof buffer)) > 0) {
        said.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(said.find(gbk("没有权限：把运行本程序的用户加入 dialout 组")), std::string::npos) << said;
}

} // namespace
