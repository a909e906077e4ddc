#include "console/support/scoped_work_dir.h"

#include "support/temp_dir.h"

#include <QDir>

#include <filesystem>

ScopedWorkDir::ScopedWorkDir() : previous_(QDir::currentPath()) {
    entered_ = dir_.isValid() && QDir::setCurrent(dir_.path());
}

ScopedWorkDir::~ScopedWorkDir() {
    // The next test makes a directory of its own and enters it, so this only needs telling.
    if (entered_ && !QDir::setCurrent(previous_)) {
        qWarning("could not go back to %s", qPrintable(previous_));
    }
}

void write_script(const std::string& path, const std::string& body) {
    put_file(path, "#!/bin/sh\n" + body);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
}
