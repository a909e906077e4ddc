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

std::optional<int> common_options(const std::string& program, int argc, char** argv, const char* help, bool takes_dir) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(help, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("%s\n", version_line(program).c_str());
            return 0;
        }
    }
    for (int i = 1; takes_dir && i < argc; ++i) {
        if (std::string(argv[i]) != "--dir") {
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "%s: --dir needs a path\n", program.c_str());
            return 2;
        }
        if (!enter_directory(program, argv[i + 1])) {
            return 1;
        }
    }
    return std::nullopt;
}
