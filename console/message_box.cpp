#include "console/message_box.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace {

MessageBoxHook& currentHook() {
    static MessageBoxHook hook;
    return hook;
}

} // namespace

void showMessage(QWidget* parent, const QString& text) {
    if (const MessageBoxHook& hook = currentHook()) {
        hook(parent, text);
        return;
    }
    // The application's title is the caption, as the operator knows these boxes.
    QMessageBox::information(parent, QGuiApplication::applicationDisplayName(), text);
}

MessageBoxHook setMessageBoxHook(MessageBoxHook hook) {
    MessageBoxHook previous = std::move(currentHook());
    currentHook() = std::move(hook);
    return previous;
}
