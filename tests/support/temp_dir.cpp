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

void TempDirTest::TearDown() {
    if (!old_cwd_.empty()) {
        [[maybe_unused]] int rc = ::chdir(old_cwd_.c_str());
    }
    if (!dir_.empty()) {
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
