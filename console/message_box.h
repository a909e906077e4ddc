#pragma once

#include <QString>

#include <functional>
#include <string>

class QWidget;

// Every message the tabs show goes through showMessage: a modal box with the exact text. Tests replace
// the box with a hook so they can read the text without running a modal loop.

using MessageBoxHook = std::function<void(QWidget* parent, const QString& text)>;

void showMessage(QWidget* parent, const QString& text);

// Shows a message the directory's rules hand back as GBK text. They hand back an empty one when all
// went well, and that shows nothing.
void showGbkMessage(QWidget* parent, const std::string& gbk_text);

// Installs `hook` in place of the modal box and returns the one it replaces. An empty hook brings the
// modal box back.
MessageBoxHook setMessageBoxHook(MessageBoxHook hook);

// A yes/no question; true when the operator answers yes. Tests answer through a hook in the same way.
using QuestionHook = std::function<bool(QWidget* parent, const QString& text)>;

bool askQuestion(QWidget* parent, const QString& text);

QuestionHook setQuestionHook(QuestionHook hook);
