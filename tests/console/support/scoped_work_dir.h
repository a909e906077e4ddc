#pragma once

#include <QString>
#include <QTemporaryDir>

#include <string>

// A fresh temporary directory made the working directory for as long as the object lives. The
// gateway keeps everything relative to the working directory, so a window built inside sees only
// what the test put there.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

    bool valid() const { return dir_.isValid(); }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QString previous_;
};

// Whole files as bytes, relative to the working directory; "" for a missing file.
std::string read_bytes(const std::string& path);
void write_bytes(const std::string& path, const std::string& bytes);
// An executable shell script.
void write_script(const std::string& path, const std::string& body);
