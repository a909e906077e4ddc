#include "console/support/scoped_work_dir.h"

#include "support/temp_dir.h"

#include <QDir>

#include <filesystem>

ScopedWorkDir::ScopedWorkDir() : previous_(QDir::currentPath()) {
    if (dir_.isValid()) {
        QDir::setCurrent(dir_.path());
    }
}

ScopedWorkDir::~ScopedWorkDir() {
    QDir::setCurrent(previous_);
}

void write_script(const std::string& path, const std::string& body) {
    put_file(path, "#!/bin/sh\n" + body);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
}
