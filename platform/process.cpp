#include "platform/process.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace {

bool is_executable(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Whether a program name resolves: a path must be executable, a bare name must be found in PATH.
bool resolvable(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return is_executable(program);
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty() && is_executable(dir + "/" + program)) {
            return true;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return false;
}

} // namespace

bool launch_detached(const std::string& program, const std::vector<std::string>& args) {
    if (program.empty() || !resolvable(program)) {
        return false;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    // The exec's outcome comes back through a close-on-exec pipe: it closes empty when exec succeeded.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return false;
    }
    // Forked twice, in a session of its own: the program outlives the console and leaves no zombie.
    pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        if (::fork() == 0) {
            int null = ::open("/dev/null", O_RDONLY);
            if (null >= 0) {
                ::dup2(null, 0);
            }
            ::execvp(program.c_str(), argv.data());
            char failed = 1;
            [[maybe_unused]] ssize_t n = ::write(report[1], &failed, 1);
            ::_exit(127);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    if (child > 0) {
        int status = 0;
        ::waitpid(child, &status, 0);
    }
    char failed = 0;
    ssize_t n = ::read(report[0], &failed, 1);
    ::close(report[0]);
    return child > 0 && n == 0;
}

bool launch_companion(const std::string& path) {
    if (is_executable(path)) {
        return launch_detached(path);
    }
    const std::string exe = ".exe";
    if (path.size() > exe.size() && path.compare(path.size() - exe.size(), exe.size(), exe) == 0) {
        std::string bare = path.substr(0, path.size() - exe.size());
        if (is_executable(bare)) {
            return launch_detached(bare);
        }
    }
    return false;
}

std::string program_folder() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

bool launch_bundled(const std::string& name, const std::string& fallback) {
    std::string folder = program_folder();
    if (!folder.empty() && is_executable(folder + "/" + name)) {
        return launch_detached(folder + "/" + name);
    }
    return launch_companion(fallback);
}

bool open_in_text_editor(const std::string& path) {
    for (const char* var : {"VISUAL", "EDITOR"}) {
        const char* editor = std::getenv(var);
        if (!editor || !*editor) {
            continue;
        }
        // A value with arguments ("code -w") is a command line: let the shell split it, with the file
        // passed as "$1" so its name is never parsed.
        std::string command = editor;
        bool started = command.find(' ') == std::string::npos
                           ? launch_detached(command, {path})
                           : launch_detached("/bin/sh", {"-c", command + " \"$1\"", "sh", path});
        if (started) {
            return true;
        }
    }
    return launch_detached("xdg-open", {path});
}

bool open_url(const std::string& url) {
    return launch_detached("xdg-open", {url});
}
