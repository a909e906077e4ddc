#pragma once

#include "console/message_box.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// What every message-tab test stands on: a fresh working directory for the spool, and the message
// boxes caught in a list instead of a modal loop.

class TabWorkDir {
public:
    TabWorkDir();
    ~TabWorkDir();
    TabWorkDir(const TabWorkDir&) = delete;
    TabWorkDir& operator=(const TabWorkDir&) = delete;

    bool valid() const { return dir_.isValid(); }

private:
    QTemporaryDir dir_;
    QString previous_;
};

class MessageLog {
public:
    MessageLog();
    ~MessageLog();
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    QStringList texts;

private:
    MessageBoxHook previous_;
};
