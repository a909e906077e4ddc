#include "console/compose_tab.h"

#include "console/control_identity.h"
#include "console/limited_text_box.h"
#include "console/message_box.h"
#include "console/qt_text.h"
#include "store/enqueue.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

constexpr int recipients_limit = 1023;
constexpr int content_limit = 142;

const QString recipients_hint =
    QStringLiteral(" 手机号每行一个或用';'隔开. \r\n或者输入号码段如：13566668888-13577779999");
const QString sample_content = QStringLiteral("欢迎使用vmSMS企业短消息服务器，英文短信请选择English，\r\n"
                                              "国内用户选择Chinese ");

QLabel* makeLabel(const char* name, const QString& caption, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    nameControl(label, name, caption);
    return label;
}

} // namespace

ComposeTab::ComposeTab(ConsoleState& state, Clock& clock, QWidget* parent)
    : QWidget(parent), state_(state), clock_(clock) {
    Label1 = makeLabel("Label1", QStringLiteral("收信人                             "), this);
    shoujihao_ = new LimitedTextBox(recipients_limit, this);
    nameControl(shoujihao_, "shoujihao", Label1->text());
    shoujihao_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    shoujihao_->setTabChangesFocus(false);
    // The hint is a placeholder, so a box the operator never filled is empty and is refused, instead of
    // queueing the hint's words as recipients.
    QString hint = recipients_hint;
    shoujihao_->setPlaceholderText(hint.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    Label1->setBuddy(shoujihao_);

    StaticText1 = makeLabel("StaticText1", QStringLiteral("短信内容"), this);
    duanxin = new LimitedTextBox(content_limit, this);
    nameControl(duanxin, "duanxin", StaticText1->text());
    duanxin->setTabChangesFocus(true);
    set_box_text(duanxin, sample_content);
    StaticText1->setBuddy(duanxin);

    // The counter starts with its own caption; only a change of the content updates it.
    Label10 = makeLabel("Label10", QStringLiteral("已输入0个字符              "), this);
    RadioButton3 = new QRadioButton(QStringLiteral("English"), this);
    nameControl(RadioButton3, "RadioButton3", RadioButton3->text());
    RadioButton4 = new QRadioButton(QStringLiteral("Chinese"), this);
    nameControl(RadioButton4, "RadioButton4", RadioButton4->text());
    RadioButton4->setChecked(true);
    fasdx = new QPushButton(QStringLiteral("发送短信(&S)"), this);
    nameControl(fasdx, "fasdx", fasdx->text());
    fasdx->setDefault(true);

    connect(duanxin, &QPlainTextEdit::textChanged, this, &ComposeTab::MemoTextChangeView);
    connect(fasdx, &QPushButton::clicked, this, &ComposeTab::fasdxClick);

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
    EnqueueResult result = enqueue_message(*recipients, content.value_or(std::string()), englishChecked(), clock_);
    if (result.status != EnqueueStatus::Queued) {
        showMessage(this, from_gbk(enqueue_status_text(result.status)));
    }
}

void ComposeTab::MemoTextChangeView() {
    auto bytes = static_cast<qsizetype>(to_gbk_lossy(box_text(duanxin)).size());
    Label10->setText(QStringLiteral("已输入 %1 个字符       ").arg(bytes));
    Label10->setAccessibleName(Label10->text().trimmed());
}

void ComposeTab::keyPressEvent(QKeyEvent* event) {
    // The send button is the tab's default: Enter anywhere a box does not take it queues the message.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        fasdx->click();
        return;
    }
    QWidget::keyPressEvent(event);
}
