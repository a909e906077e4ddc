#pragma once

#include <QWidget>

class Clock;
class ConsoleState;
class LimitedTextBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

// The "新建sms" tab: recipients, content, English or Chinese, and the send button that queues one
// record into today's spool.
class ComposeTab : public QWidget {
    Q_OBJECT
public:
    ComposeTab(ConsoleState& state, Clock& clock, QWidget* parent = nullptr);

    // The recipients box, which the address book fills with customer tokens.
    QPlainTextEdit* shoujihao() const;
    // The column at the tab's right side kept free for the address book (button, tree, contact list).
    QVBoxLayout* addressBookArea() const { return address_book_area_; }

public slots:
    void fasdxClick();
    void MemoTextChangeView();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool englishChecked() const;

    ConsoleState& state_;
    Clock& clock_;
    QLabel* Label1 = nullptr;
    LimitedTextBox* shoujihao_ = nullptr;
    QLabel* StaticText1 = nullptr;
    LimitedTextBox* duanxin = nullptr;
    QLabel* Label10 = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    QRadioButton* RadioButton4 = nullptr;
    QPushButton* fasdx = nullptr;
    QVBoxLayout* address_book_area_ = nullptr;
};
