#include "console/support/tab_fixture.h"

#include <QDir>

TabWorkDir::TabWorkDir() : previous_(QDir::currentPath()) {
    if (dir_.isValid()) {
        QDir::setCurrent(dir_.path());
    }
}

TabWorkDir::~TabWorkDir() {
    QDir::setCurrent(previous_);
}

MessageLog::MessageLog() {
    previous_ = setMessageBoxHook([this](QWidget*, const QString& text) { texts.append(text); });
}

MessageLog::~MessageLog() {
    setMessageBoxHook(std::move(previous_));
}
