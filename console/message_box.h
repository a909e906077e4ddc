#pragma once

#include <QString>

#include <functional>

class QWidget;

// Every message the tabs show goes through showMessage: a modal box with the exact text. Tests replace
// the box with a hook so they can read the text without running a modal loop.

using MessageBoxHook = std::function<void(QWidget* parent, const QString& text)>;

void showMessage(QWidget* parent, const QString& text);

// Installs `hook` in place of the modal box and returns the one it replaces. An empty hook brings the
// modal box back.
MessageBoxHook setMessageBoxHook(MessageBoxHook hook);
