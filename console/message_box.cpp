#include "console/message_box.h"

#include "console/qt_text.h"

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

void showGbkMessage(QWidget* parent, const std::string& gbk_text) {
    if (!gbk_text.empty()) {
        showMessage(parent, from_gbk(gbk_text));
    }
}

MessageBoxHook setMessageBoxHook(MessageBoxHook hook) {
    MessageBoxHook previous = std::move(currentHook());
    currentHook() = std::move(hook);
    return previous;
}
