#pragma once

#include <QString>
#include <QTemporaryDir>

#include <string>

// A fresh temporary directory made the working directory for as long as the object lives. The
// gateway keeps everything relative to the working directory, so a window or tab built inside sees
// only what the test put there. Files in it are read and written with support/temp_dir.h.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

    // Whether the directory was made and is the working directory: a test must not go on without.
    bool valid() const { return entered_; }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QString previous_;
    bool entered_ = false;
};

// An executable shell script.
void write_script(const std::string& path, const std::string& body);
