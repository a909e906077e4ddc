#include "platform/program_info.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#ifndef VMSMS_VERSION
#define VMSMS_VERSION "unknown"
#endif

std::string version_line(const std::string& program) {
    return program + " (vmSMS) " + VMSMS_VERSION;
}

bool enter_directory(const std::string& program, const std::string& path) {
    if (::chdir(path.c_str()) == 0) {
        return true;
    }
    std::fprintf(stderr, "%s: cannot work in %s: %s\n", program.c_str(), path.c_str(), std::strerror(errno));
    return false;
}
