#include "store/engine_presence.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether any process this one may look into has the file (device and inode) open.
bool held_open(const struct stat& file) {
    DIR* proc = ::opendir("/proc");
    if (!proc) {
        return false;
    }
    bool found = false;
    std::string self = std::to_string(::getpid());
    while (!found) {
        dirent* entry = ::readdir(proc);
        if (!entry) {
            break;
        }
        std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) {
            continue;
        }
        std::string fd_dir = "/proc/" + pid + "/fd";
        DIR* fds = ::opendir(fd_dir.c_str());
        if (!fds) {
            continue; // gone, or another user's
        }
        while (dirent* fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.') {
                continue;
            }
            struct stat open_file {};
            if (::stat((fd_dir + "/" + fd->d_name).c_str(), &open_file) == 0 && open_file.st_dev == file.st_dev &&
                open_file.st_ino == file.st_ino) {
                found = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

} // namespace

EnginePresence engine_presence() {
    EnginePresence presence;
    struct stat trace {};
    if (::stat("sms.log", &trace) != 0) {
        return presence;
    }
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    double age = static_cast<double>(now.tv_sec - trace.st_mtim.tv_sec) +
                 static_cast<double>(now.tv_nsec - trace.st_mtim.tv_nsec) / 1e9;
    presence.trace_age_seconds = age < 0 ? 0 : age;
    presence.trace_held_open = held_open(trace);
    presence.running = presence.trace_held_open || *presence.trace_age_seconds <= trace_recent_seconds;
    return presence;
}
