#include "console/support/captured_messages.h"

CapturedMessages::CapturedMessages() {
    previous_ = setMessageBoxHook([this](QWidget*, const QString& text) { texts.append(text); });
}

CapturedMessages::~CapturedMessages() {
    setMessageBoxHook(std::move(previous_));
}
