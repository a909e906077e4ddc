#include "platform/port_diagnosis.h"

#include "platform/gbk.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/file.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Holder {
    std::string pid;
    std::string name;
};

// A process other than this one that has the device open, found through /proc/<pid>/fd.
std::optional<Holder> holder_of(const std::string& path) {
    std::error_code error;
    fs::path device = fs::canonical(path, error);
    if (error) {
        return std::nullopt;
    }
    std::string self = std::to_string(::getpid());
    for (const auto& process : fs::directory_iterator("/proc", error)) {
        std::string pid = process.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) {
            continue;
        }
        std::error_code fd_error;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fd_error)) {
            std::error_code link_error;
            if (fs::read_symlink(fd.path(), link_error) == device) {
                std::string name;
                std::getline(std::ifstream(process.path() / "comm"), name);
                return Holder{pid, name};
            }
        }
    }
    return std::nullopt;
}

std::string busy(const std::string& path) {
    std::optional<Holder> holder = holder_of(path);
    if (!holder) {
        return gbk("设备正被另一个程序占用（用 fuser ") + path + gbk(" 查看是哪一个）");
    }
    return gbk("设备正被进程 ") + holder->pid + " (" + holder->name + gbk(") 占用：关闭它（详见 /proc/") + holder->pid +
           gbk("）后再启动");
}

std::string cause_of(int error, const std::string& path) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return gbk("没有这个设备：检查数据线是否插好，串口名称是否正确");
    case EACCES:
    case EPERM:
        return gbk("没有权限：把运行本程序的用户加入 dialout 组（sudo usermod -aG dialout 用户名），重新登录后再试");
    case EBUSY:
        return busy(path);
    default:
        return std::strerror(error);
    }
}

} // namespace

std::string port_open_failure(const std::string& path) {
    std::string head = gbk("串口 ") + path + gbk(" 无法打开：");
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return head + cause_of(errno, path);
    }
    std::string cause;
    if (!::isatty(fd)) {
        cause = gbk("这不是串口设备（不是终端设备）");
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        cause = busy(path);
    } else {
        ::flock(fd, LOCK_UN);
        cause = gbk("现在可以打开了：设备刚才可能正被占用，请再试一次");
    }
    ::close(fd);
    return head + cause;
}
