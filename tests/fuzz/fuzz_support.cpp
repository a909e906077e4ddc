#include "fuzz_support.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// A plain array rather than a std::string: the exit handler may run after static objects are gone.
char scratch_dir[4096];

void remove_scratch_dir() {
    if (scratch_dir[0] != '\0') {
        std::error_code ignored;
        std::filesystem::remove_all(scratch_dir, ignored);
    }
}

// The flags of libFuzzer that name a path.
constexpr const char* path_flags[] = {"-artifact_prefix=", "-exact_artifact_path=", "-dict=",
                                      "-features_dir=",    "-merge_control_file=",  "-data_flow_trace="};

std::string absolute(const std::string& cwd, std::string_view path) {
    return path.empty() || path.front() == '/' ? std::string(path) : cwd + "/" + std::string(path);
}

void make_paths_absolute(int argc, char** argv) {
    // The rewritten arguments live as long as the process, as argv does: never freed, not even by the
    // static destructors, and reserved in advance so no string moves.
    static auto* kept = new std::vector<std::string>();
    kept->reserve(static_cast<std::size_t>(argc));
    std::error_code error;
    std::string cwd = std::filesystem::current_path(error).string();
    // argv[0] stays: libFuzzer refuses to go on when it changed.
    for (int i = 1; i < argc && !error; ++i) {
        std::string_view arg = argv[i];
        std::string rewritten;
        if (!arg.starts_with("-")) {
            rewritten = absolute(cwd, arg);
        }
        for (std::string_view flag : path_flags) {
            if (arg.starts_with(flag)) {
                rewritten = std::string(flag) + absolute(cwd, arg.substr(flag.size()));
            }
        }
        if (!rewritten.empty() && rewritten != arg) {
            argv[i] = kept->emplace_back(std::move(rewritten)).data();
        }
    }
}

} // namespace

void enter_scratch_dir(const char* purpose, int* argc, char*** argv) {
    make_paths_absolute(*argc, *argv);
    const char* tmp = std::getenv("TMPDIR");
    std::snprintf(scratch_dir, sizeof scratch_dir, "%s/vmsms-fuzz-%s-XXXXXX", tmp && *tmp ? tmp : "/tmp", purpose);
    if (::mkdtemp(scratch_dir) == nullptr || ::chdir(scratch_dir) != 0) {
        std::fprintf(stderr, "cannot set up the scratch directory %s: %s\n", scratch_dir, std::strerror(errno));
        std::exit(1);
    }
    std::atexit(remove_scratch_dir);
}

// The targets write only into their scratch directory, whose files need not survive a power cut. A
// flush to the disk per replaced file would cap them at a few dozen inputs a second, so the program's
// own fsync stands in for the C library's and does nothing.
extern "C" int fsync(int) {
    return 0;
}

extern "C" int fdatasync(int) {
    return 0;
}

void fuzz_fail(const char* format, ...) {
    std::fputs("fuzz property failed: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::abort();
}
