#include "console/optout_tab.h"

#include "console/control_identity.h"
#include "console/message_box.h"
#include "console/optout_model.h"
#include "console/qt_text.h"
#include "console/report_list.h"
#include "platform/clock.h"
#include "store/optout_list.h"
#include "store/phone_number.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

namespace {

// Long enough for an international number typed with blanks; anything longer is no number.
constexpr int number_limit = 32;

QString notANumber(const QString& typed) {
    return QStringLiteral("“%1”不是电话号码，没有加入退订名单。\n"
                          "号码为最多12位数字，或“+”加国家代码的国际号码（最多15位数字）。")
        .arg(typed);
}

// Why the list could not be changed, from the errno value of the failure.
QString failureReason(int cause) {
    switch (cause) {
    case ETIMEDOUT:
        return QStringLiteral("另一个程序一直占用着它（%1），等待后放弃，请稍后再试")
            .arg(QString::fromLatin1(optout_lock_path));
    case EIO:
        return QStringLiteral("名单文件无法读取");
    case EFBIG:
        return QStringLiteral("名单已满（最多 %1 个号码）").arg(most_optout_entries);
    case 0:
        return QStringLiteral("无法写入");
    default:
        return QString::fromLocal8Bit(std::strerror(cause));
    }
}

// Why a change was not made. `cause` is the errno value of a failure.
QString changeProblem(OptOutChange change, const QString& number, int cause) {
    switch (change) {
    case OptOutChange::AlreadyThere:
        return QStringLiteral("%1 已在退订名单中。").arg(number);
    case OptOutChange::NotThere:
        return QStringLiteral("%1 已不在退订名单中。").arg(number);
    case OptOutChange::NotANumber:
        return notANumber(number);
    case OptOutChange::Failed:
    case OptOutChange::Done:
        break;
    }
    return QStringLiteral("退订名单（%1）没有修改：%2。").arg(QString::fromLatin1(optout_path), failureReason(cause));
}

} // namespace

OptOutTab::OptOutTab(Clock& clock, QWidget* parent) : QWidget(parent), clock_(clock) {
    buildControls();
    arrange();

    connect(Button14, &QPushButton::clicked, this, &OptOutTab::Button14Click);
    connect(Edit15, &QLineEdit::returnPressed, this, &OptOutTab::Button14Click);
    connect(Button15, &QPushButton::clicked, this, &OptOutTab::Button15Click);
    ListView7->installEventFilter(this);
}

void OptOutTab::buildControls() {
    Label36 = makeNamed<QLabel>(this, "Label36", QString());
    model_ = new OptOutModel(this);
    ListView7 = new QTreeView(this);
    ListView7->setModel(model_);
    setUpReportList(ListView7, "ListView7", QStringLiteral("退订名单"), {160, 100, 200});
    ListView7->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView7->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView7->header()->setStretchLastSection(true);

    Label35 = new QLabel(QStringLiteral("号码："), this);
    Edit15 = new QLineEdit(this);
    Edit15->setMaxLength(number_limit);
    nameAfterLabel(Edit15, "Edit15", Label35);
    Button14 = makeNamed<QPushButton>(this, "Button14", QStringLiteral("添加(&A)"));
    Button15 = makeNamed<QPushButton>(this, "Button15", QStringLiteral("删除(&D)"));
}

void OptOutTab::arrange() {
    auto* editor = new QHBoxLayout;
    editor->addWidget(Label35);
    editor->addWidget(Edit15, 1);
    editor->addWidget(Button14);
    editor->addSpacing(24);
    editor->addWidget(Button15);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label36);
    layout->addWidget(ListView7, 1);
    layout->addLayout(editor);
}

void OptOutTab::showCount(const QString& text) {
    Label36->setText(text);
    Label36->setAccessibleName(text);
}

void OptOutTab::fillList() {
    std::optional<OptOutList> list = read_optout_list();
    if (!list) {
        model_->setEntries({});
        showCount(QStringLiteral("退订名单（optout.txt）无法读取，没有显示。"));
        return;
    }
    QString count = QStringLiteral("退订名单中共 %1 个号码，这些号码不再发送短信。").arg(list->entries.size());
    if (list->skipped > 0) {
        count += QStringLiteral("（另有 %1 行无法识别，已略过）").arg(list->skipped);
    }
    model_->setEntries(std::move(list->entries));
    showCount(count);
}

void OptOutTab::Button14Click() {
    const QString typed = Edit15->text().trimmed();
    if (typed.isEmpty()) {
        showMessage(this, QStringLiteral("请输入要加入退订名单的号码。"));
        return;
    }
    const std::string number = to_gbk_lossy(typed);
    if (!canonical_number(number, home_country())) {
        showMessage(this, notANumber(typed));
        return;
    }
    OptOutChange change = add_optout(number, spool_date(clock_.now()), manual_optout_keyword, lock_timeout_ms_);
    const int cause = errno;
    fillList();
    if (change == OptOutChange::Done) {
        Edit15->clear();
        return;
    }
    showMessage(this, changeProblem(change, typed, cause));
}

void OptOutTab::Button15Click() {
    const QModelIndexList chosen = ListView7->selectionModel()->selectedRows();
    if (chosen.isEmpty()) {
        showMessage(this, QStringLiteral("请先在名单中选中要删除的号码。"));
        return;
    }
    const std::string number = model_->entry(chosen.first().row()).number;
    OptOutChange change = remove_optout(number, lock_timeout_ms_);
    const int cause = errno;
    fillList();
    if (change != OptOutChange::Done) {
        showMessage(this, changeProblem(change, from_gbk(number), cause));
    }
}

bool OptOutTab::eventFilter(QObject* watched, QEvent* event) {
    // The Delete key on the list takes the chosen number off it, as the button does.
    if (watched == ListView7 && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        Button15Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void OptOutTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    fillList();
}
