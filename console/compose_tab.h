#pragma once

#include "console/optout_count.h"
#include "queue/enqueue.h"
#include "queue/message_queue.h"

#include <QWidget>

#include <memory>
#include <string>

class Clock;
struct EngineOptions;
class ConsoleState;
class LimitedTextBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QVBoxLayout;

// The "新建sms" tab: recipients, content, English or Chinese, and the send button that queues one
// record into today's spool.
class ComposeTab : public QWidget {
    Q_OBJECT
public:
    // `options` tells whether long messages are let in (the limit of the content box and the counter).
    ComposeTab(ConsoleState& state, const EngineOptions& options, Clock& clock, QWidget* parent = nullptr);

    // The recipients box, which the address book fills with customer tokens.
    QPlainTextEdit* shoujihao() const;
    // The column at the tab's right side kept free for the address book (button, tree, contact list).
    QVBoxLayout* addressBookArea() const { return address_book_area_; }

signals:
    // A message went into the queue: the operator's one-line word on it.
    void queued(const QString& text);

public slots:
    void fasdxClick();
    void MemoTextChangeView();
    // The long-message option changed: the content box takes up to ten parts' worth, or one message's.
    void longMessagesChanged();
    // Counts the recipients on the opt-out list again and shows the count above the send button
    // (nothing when none is on the list). The tab does this a moment after the recipients change, when
    // it is shown and before it queues.
    void showOptedOut();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool englishChecked() const;
    EnqueueResult enqueue(const std::string& recipients, const std::string& content);
    QString queuedText(const EnqueueResult& result) const;

    ConsoleState& state_;
    const EngineOptions& options_;
    Clock& clock_;
    QLabel* Label1 = nullptr;
    LimitedTextBox* shoujihao_ = nullptr;
    QLabel* StaticText1 = nullptr;
    LimitedTextBox* duanxin = nullptr;
    QLabel* Label10 = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    QRadioButton* RadioButton4 = nullptr;
    QPushButton* fasdx = nullptr;
    // How many recipients are on the opt-out list; hidden while none is.
    QLabel* Label37 = nullptr;
    QTimer* opted_out_timer_ = nullptr;
    OptedOutRecipients opted_out_;
    std::uint64_t opted_out_count_ = 0;
    QVBoxLayout* address_book_area_ = nullptr;
    std::unique_ptr<MessageQueue> queue_;
};
