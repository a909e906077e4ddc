#include "console/compose_tab.h"

#include "console/control_identity.h"
#include "console/limited_text_box.h"
#include "console/message_box.h"
#include "console/qt_text.h"
#include "engine/engine_options.h"
#include "queue/enqueue.h"
#include "store/content_size.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int recipients_limit = 1023;
constexpr int content_limit = 142;
// The pause in typing after which the recipients are counted against the opt-out list.
constexpr int opted_out_delay_ms = 300;
// Ten parts of English (1530 septets) is the most a long message holds.
const int long_content_limit = most_content_characters(true, true);

const QString recipients_hint =
    QStringLiteral(" 手机号每行一个或用';'隔开. \r\n或者输入号码段如：13566668888-13577779999");
const QString sample_content = QStringLiteral("欢迎使用vmSMS企业短消息服务器，英文短信请选择English，\r\n"
                                              "国内用户选择Chinese ");

} // namespace

ComposeTab::ComposeTab(ConsoleState& state, const EngineOptions& options, Clock& clock, QWidget* parent)
    : QWidget(parent), state_(state), options_(options), clock_(clock) {
    Label1 = makeNamed<QLabel>(this, "Label1", QStringLiteral("收信人                             "));
    shoujihao_ = new LimitedTextBox(recipients_limit, this);
    nameAfterLabel(shoujihao_, "shoujihao", Label1);
    shoujihao_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    shoujihao_->setTabChangesFocus(false);
    // The hint is a placeholder, so a box the operator never filled is empty and is refused, instead of
    // queueing the hint's words as recipients.
    QString hint = recipients_hint;
    shoujihao_->setPlaceholderText(hint.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

    StaticText1 = makeNamed<QLabel>(this, "StaticText1", QStringLiteral("短信内容"));
    duanxin = new LimitedTextBox(content_limit, this);
    nameAfterLabel(duanxin, "duanxin", StaticText1);
    duanxin->setTabChangesFocus(true);
    set_box_text(duanxin, sample_content);

    // The counter starts with its own caption; only a change of the content updates it.
    Label10 = makeNamed<QLabel>(this, "Label10", QStringLiteral("已输入0个字符              "));
    RadioButton3 = makeNamed<QRadioButton>(this, "RadioButton3", QStringLiteral("English"));
    RadioButton4 = makeNamed<QRadioButton>(this, "RadioButton4", QStringLiteral("Chinese"));
    RadioButton4->setChecked(true);
    fasdx = makeNamed<QPushButton>(this, "fasdx", QStringLiteral("发送短信(&S)"));
    fasdx->setDefault(true);
    Label37 = makeNamed<QLabel>(this, "Label37", QString());
    Label37->setStyleSheet(QStringLiteral("color: red"));
    Label37->hide();
    opted_out_timer_ = new QTimer(this);
    opted_out_timer_->setSingleShot(true);
    opted_out_timer_->setInterval(opted_out_delay_ms);

    connect(duanxin, &QPlainTextEdit::textChanged, this, &ComposeTab::MemoTextChangeView);
    // With long messages the counter tells the parts, which depend on the alphabet.
    connect(RadioButton3, &QRadioButton::toggled, this, [this] {
        if (options_.long_messages.load()) {
            MemoTextChangeView();
        }
    });
    if (options_.long_messages.load()) {
        duanxin->setMaxLength(long_content_limit);
    }
    connect(fasdx, &QPushButton::clicked, this, &ComposeTab::fasdxClick);
    connect(shoujihao_, &QPlainTextEdit::textChanged, opted_out_timer_, qOverload<>(&QTimer::start));
    connect(opted_out_timer_, &QTimer::timeout, this, &ComposeTab::showOptedOut);

    auto* choice = new QHBoxLayout;
    choice->addWidget(Label10);
    choice->addStretch(1);
    choice->addWidget(RadioButton3);
    choice->addWidget(RadioButton4);
    choice->addSpacing(16);
    choice->addWidget(fasdx);

    auto* compose = new QVBoxLayout;
    compose->addWidget(Label1);
    compose->addWidget(shoujihao_, 3);
    compose->addWidget(StaticText1);
    compose->addWidget(duanxin, 2);
    compose->addWidget(Label37, 0, Qt::AlignRight);
    compose->addLayout(choice);

    address_book_area_ = new QVBoxLayout;
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(compose, 3);
    layout->addLayout(address_book_area_, 2);
}

QPlainTextEdit* ComposeTab::shoujihao() const {
    return shoujihao_;
}

bool ComposeTab::englishChecked() const {
    return RadioButton3->isChecked();
}

void ComposeTab::fasdxClick() {
    showOptedOut();
    std::optional<std::string> recipients = to_gbk(box_text(shoujihao_));
    std::optional<std::string> content = to_gbk(box_text(duanxin));
    // GBK is all the spool and the modem path know; a character outside it would reach the recipient
    // as '?', so the operator is told instead.
    if (!recipients) {
        showMessage(this, QStringLiteral("收信人中有无法保存的字符（不在GBK字符集内），短信没有发送。"));
        return;
    }
    if (!content && !recipients->empty()) {
        showMessage(this, QStringLiteral("短信内容中有无法发送的字符（不在GBK字符集内），短信没有发送。"));
        return;
    }
    EnqueueResult result = enqueue(*recipients, content.value_or(std::string()));
    if (result.status != EnqueueStatus::Queued) {
        // A lock failure names the lock file and the system's reason, so the operator can act on it.
        showMessage(this, from_gbk(enqueue_result_text(result)));
        return;
    }
    emit queued(queuedText(result));
}

QString ComposeTab::queuedText(const EnqueueResult& result) const {
    QString text =
        QStringLiteral("短信已加入发送队列：%1 第 %2 条").arg(QString::fromStdString(result.day)).arg(result.record);
    if (opted_out_count_ > 0) {
        text += QStringLiteral("（其中 %1 个号码已退订，不会发送）").arg(opted_out_count_);
    }
    return text;
}

void ComposeTab::showOptedOut() {
    opted_out_timer_->stop();
    opted_out_count_ = opted_out_.count(to_gbk_lossy(box_text(shoujihao_)));
    if (opted_out_count_ == 0) {
        Label37->hide();
        return;
    }
    Label37->setText(QStringLiteral("其中 %1 个号码已退订，不会发送").arg(opted_out_count_));
    renameControl(Label37, Label37->text());
    Label37->show();
}

// Into the spool, and with [DB] DSN in server.txt into the shared queue's outbox as well (read at each
// send, like the window's other settings; the queue and its connection are kept while the database
// stays the same).
EnqueueResult ComposeTab::enqueue(const std::string& recipients, const std::string& content) {
    DbSettings db = read_db_settings();
    if (!queue_ || !queue_->same_database(db)) {
        queue_ = std::make_unique<MessageQueue>(std::move(db));
    }
    return queue_->queue(recipients, content, englishChecked(), clock_, options_.long_messages.load());
}

void ComposeTab::MemoTextChangeView() {
    if (options_.long_messages.load()) {
        ContentSize size = content_size(to_gbk_lossy(box_text(duanxin)), englishChecked());
        Label10->setText(QStringLiteral("已输入 %1 个字符，共 %2 条").arg(size.characters).arg(size.parts));
    } else {
        auto bytes = static_cast<qsizetype>(to_gbk_lossy(box_text(duanxin)).size());
        Label10->setText(QStringLiteral("已输入 %1 个字符       ").arg(bytes));
    }
    Label10->setAccessibleName(Label10->text().trimmed());
}

void ComposeTab::longMessagesChanged() {
    duanxin->setMaxLength(options_.long_messages.load() ? long_content_limit : content_limit);
    MemoTextChangeView();
}

void ComposeTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    showOptedOut();
}

void ComposeTab::keyPressEvent(QKeyEvent* event) {
    // The send button is the tab's default: Enter anywhere a box does not take it queues the message.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        fasdx->click();
        return;
    }
    QWidget::keyPressEvent(event);
}
