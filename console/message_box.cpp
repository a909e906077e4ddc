#include "console/message_box.h"

#include "console/qt_text.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace {

MessageBoxHook& currentHook() {
    static MessageBoxHook hook;
    return hook;
}

QuestionHook& currentQuestionHook() {
    static QuestionHook hook;
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

bool askQuestion(QWidget* parent, const QString& text) {
    if (const QuestionHook& hook = currentQuestionHook()) {
        return hook(parent, text);
    }
    // No is the default button: a stray Enter keeps things as they are.
    return QMessageBox::question(parent, QGuiApplication::applicationDisplayName(), text,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

QuestionHook setQuestionHook(QuestionHook hook) {
    QuestionHook previous = std::move(currentQuestionHook());
    currentQuestionHook() = std::move(hook);
    return previous;
}
