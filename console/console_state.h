#pragma once

#include <QPlainTextEdit>
#include <QString>

// Window-wide state and the small conventions the four message tabs share. Everything here lives on
// the GUI thread.

class ConsoleState {
public:
    // The record number last chosen in the pending or the sent list (0 until then). The pending tab's
    // modify and bar act on it, whichever list set it.
    int selectedMessage() const { return selected_message_; }
    void setSelectedMessage(int n) { selected_message_ = n; }

private:
    int selected_message_ = 0;
};

// Gives a control its name from the window definition. Tools that drive the window from outside find
// it by accessible name (the caption, or a box's label text) and accessible description (the name),
// because Qt does not show objectName to accessibility tools.
void nameControl(QWidget* control, const char* name, const QString& caption);

// A multi-line box whose limit applies to what the operator types or pastes, as a Windows edit
// control's limit does: text the program puts in is never cut. Length is counted as box_text() counts
// it, a line break being two characters.
class LimitedTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LimitedTextBox(int max_length, QWidget* parent = nullptr);

    int maxLength() const { return max_length_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    int room() const;

    int max_length_;
};
