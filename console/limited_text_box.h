#pragma once

#include <QPlainTextEdit>

// A multi-line box whose limit applies to what the operator types or pastes, as a Windows edit
// control's limit does: text the program puts in is never cut. Length is counted as box_text() counts
// it, a line break being two characters.
class LimitedTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LimitedTextBox(int max_length, QWidget* parent = nullptr);

    int maxLength() const { return max_length_; }
    // A new limit holds for what is typed or pasted from now on; text already in the box stays.
    void setMaxLength(int max_length) { max_length_ = max_length; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    int room() const;

    int max_length_;
};
