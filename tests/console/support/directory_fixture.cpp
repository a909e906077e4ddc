#include "console/support/directory_fixture.h"

#include <QDir>

#include <filesystem>
#include <fstream>
#include <iterator>

DirectoryWorkDir::DirectoryWorkDir() : previous_(QDir::currentPath()) {
    QDir::setCurrent(dir_.path());
}

DirectoryWorkDir::~DirectoryWorkDir() {
    QDir::setCurrent(previous_);
}

DirectoryMessages::DirectoryMessages() {
    previous_ = setMessageBoxHook([this](QWidget*, const QString& text) { texts.append(text); });
}

DirectoryMessages::~DirectoryMessages() {
    setMessageBoxHook(std::move(previous_));
}

std::string directory_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void put_directory_file(const std::string& path, const std::string& bytes) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) {
        std::filesystem::create_directories(p.parent_path());
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

bool directory_file_exists(const std::string& path) {
    return std::filesystem::exists(path);
}
