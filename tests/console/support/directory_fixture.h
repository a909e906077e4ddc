#pragma once

#include "console/message_box.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

// Fixtures of the directory tabs' Qt tests.

// A fresh temporary directory made the working directory for as long as the object lives.
class DirectoryWorkDir {
public:
    DirectoryWorkDir();
    ~DirectoryWorkDir();
    DirectoryWorkDir(const DirectoryWorkDir&) = delete;
    DirectoryWorkDir& operator=(const DirectoryWorkDir&) = delete;

    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QString previous_;
};

// Every message box shown while the object lives, as its text, instead of a modal loop.
class DirectoryMessages {
public:
    DirectoryMessages();
    ~DirectoryMessages();
    DirectoryMessages(const DirectoryMessages&) = delete;
    DirectoryMessages& operator=(const DirectoryMessages&) = delete;

    QStringList texts;

private:
    MessageBoxHook previous_;
};

// A file's bytes relative to the working directory ("" when missing), and writing them.
std::string directory_file(const std::string& path);
void put_directory_file(const std::string& path, const std::string& bytes);
bool directory_file_exists(const std::string& path);
