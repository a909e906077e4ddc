#pragma once

#include "console/message_box.h"

#include <QStringList>

// Puts every message box the window shows into a list instead of a modal loop, for as long as the
// object lives.
class CapturedMessages {
public:
    CapturedMessages();
    ~CapturedMessages();
    CapturedMessages(const CapturedMessages&) = delete;
    CapturedMessages& operator=(const CapturedMessages&) = delete;

    QStringList texts;

private:
    MessageBoxHook previous_;
};
