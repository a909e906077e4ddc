#include "support/temp_dir.h"

#include "platform/text_file.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

void TempDirTest::SetUp() {
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    old_cwd_ = cwd;
    std::string tmpl = (std::filesystem::temp_directory_path() / "vmsms-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    ASSERT_EQ(::chdir(dir_.c_str()), 0);
}

namespace {

// With KEEP_TEST_DIRS=<dir> set, what each test left in its directory (the spool, the logs, the
// simulated modem's record of submissions) is copied to <dir>/<suite>.<test> before it is removed, so
// two builds' outputs can be compared file by file (scripts/compare-outputs.sh). Sockets, devices and
// links are left out: only regular files are kept.
void keep_test_dir(const std::string& dir) {
    const char* keep = std::getenv("KEEP_TEST_DIRS");
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (keep == nullptr || *keep == '\0' || test == nullptr) {
        return;
    }
    namespace fs = std::filesystem;
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    const fs::path target = fs::path(keep) / name;
    std::error_code ec;
    fs::remove_all(target, ec);
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file(ec) || it->is_symlink(ec)) {
            continue;
        }
        const fs::path to = target / fs::relative(it->path(), dir, ec);
        fs::create_directories(to.parent_path(), ec);
        fs::copy_file(it->path(), to, fs::copy_options::overwrite_existing, ec);
    }
}

} // namespace

void TempDirTest::TearDown() {
    if (!old_cwd_.empty()) {
        [[maybe_unused]] int rc = ::chdir(old_cwd_.c_str());
    }
    if (!dir_.empty()) {
        keep_test_dir(dir_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

std::string file_bytes(const std::string& path) {
    return read_binary_file(path).value_or(std::string());
}

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

void put_file(const std::string& path, const std::string& bytes) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) {
        std::filesystem::create_directories(p.parent_path());
    }
    ASSERT_TRUE(replace_file_atomically(path, bytes)) << path;
}

std::string built_program(const std::string& relative) {
    return std::string(VMSMS_BINARY_DIR) + "/" + relative;
}
