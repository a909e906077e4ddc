#include "console/support/scoped_work_dir.h"

#include <QDir>

#include <filesystem>
#include <fstream>
#include <iterator>

ScopedWorkDir::ScopedWorkDir() : previous_(QDir::currentPath()) {
    if (dir_.isValid()) {
        QDir::setCurrent(dir_.path());
    }
}

ScopedWorkDir::~ScopedWorkDir() {
    QDir::setCurrent(previous_);
}

std::string read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const std::string& path, const std::string& bytes) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) {
        std::filesystem::create_directories(p.parent_path());
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void write_script(const std::string& path, const std::string& body) {
    write_bytes(path, "#!/bin/sh\n" + body);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
}
