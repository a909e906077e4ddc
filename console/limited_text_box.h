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

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    int room() const;

    int max_length_;
};
