#include "console/pending_tab.h"

#include "console/chosen_record.h"
#include "console/console_state.h"
#include "console/control_identity.h"
#include "console/limited_text_box.h"
#include "console/list_fill.h"
#include "console/list_fill_model.h"
#include "console/list_fill_view.h"
#include "console/message_box.h"
#include "console/qt_text.h"
#include "console/report_list.h"
#include "store/spool.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

constexpr int box_limit = 1023;

} // namespace

PendingTab::PendingTab(ConsoleState& state, Clock& clock, QWidget* parent)
    : QWidget(parent), state_(state), clock_(clock) {
    rows_ = new ListRowsModel({QString(), QString(), QStringLiteral("序号"), QStringLiteral("收信人"),
                               QStringLiteral("短信内容  (双击下面空白，获得内容列表)"), QStringLiteral("建立时间")},
                              this);
    ListView2 = makeReportView(this, "ListView2", QStringLiteral("待发送sms"), rows_, {1, 30, 35, 80, 380, 120});
    ListView2->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView2->setSelectionBehavior(QAbstractItemView::SelectItems);

    Label2 = makeNamed<QLabel>(this, "Label2", QStringLiteral("收 信 人：   "));
    Memo1 = new LimitedTextBox(box_limit, this);
    nameAfterLabel(Memo1, "Memo1", Label2);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Label3 = makeNamed<QLabel>(this, "Label3", QStringLiteral("短信内容：         "));
    Memo2 = new LimitedTextBox(box_limit, this);
    nameAfterLabel(Memo2, "Memo2", Label3);
    changge_dai_BitBtn1 = makeNamed<QPushButton>(this, "changge_dai_BitBtn1", QStringLiteral("短信修改(&U)"));
    del_dai_BitBtn2 = makeNamed<QPushButton>(this, "del_dai_BitBtn2", QStringLiteral("禁止发送(&N)"));

    fill_ = new ListFill(ListKind::Pending, this);
    connect(fill_, &ListFill::cleared, this, [this] {
        rows_->clear();
        ListView2->setSelectionBehavior(QAbstractItemView::SelectRows);
    });
    connect(fill_, &ListFill::rowsReady, rows_, &ListRowsModel::append);
    // A double-click anywhere in the list, on a row or on the empty area below the rows, asks for it.
    onDoubleClick(ListView2, [this] { fillList(); });
    onLastRowSelected(ListView2, [this](int row) { daifaListView(row); });
    connect(changge_dai_BitBtn1, &QPushButton::clicked, this, &PendingTab::changge_dai_BitBtn1Click);
    connect(del_dai_BitBtn2, &QPushButton::clicked, this, &PendingTab::del_dai_BitBtn2Click);

    auto* boxes = new QGridLayout;
    boxes->addWidget(Label2, 0, 0, Qt::AlignTop);
    boxes->addWidget(Memo1, 0, 1);
    boxes->addWidget(Label3, 1, 0, Qt::AlignTop);
    boxes->addWidget(Memo2, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(changge_dai_BitBtn1);
    buttons->addWidget(del_dai_BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListView2, 3);
    layout->addLayout(boxes, 2);
    layout->addLayout(buttons);
}

void PendingTab::fillList() {
    fill_->start(spool_date(clock_.now()));
}

void PendingTab::daifaListView(int row) {
    if (row < 0 || row >= rows_->rowCount()) {
        return;
    }
    loadChosenRecord(state_, rows_->row(row), spool_date(clock_.now()), Memo1, Memo2);
}

// Modify and bar rewrite a record only while the engine has yet to reach it: a record it has passed
// would be changed on disk without effect on sending, and a number beyond the queued counter would
// create a record the engine never sees.
bool PendingTab::pendingToday(const std::string& day, int n, const QString& refused) {
    if (n <= 0) {
        showMessage(this, QStringLiteral("请先在待发送或已发送列表中选择一条短信，再%1。").arg(refused));
        return false;
    }
    long queued = read_counter(day, SpoolDir::New);
    long processed = read_counter(day, SpoolDir::Send);
    if (n <= processed || n > queued) {
        showMessage(
            this, QStringLiteral("第%1条短信不在今天的待发送队列中（已经处理或不存在），不能%2。").arg(n).arg(refused));
        return false;
    }
    return true;
}

void PendingTab::changge_dai_BitBtn1Click() {
    int n = state_.selectedMessage();
    std::string day = spool_date(clock_.now());
    if (!pendingToday(day, n, QStringLiteral("修改"))) {
        return;
    }
    std::optional<std::string> recipients = to_gbk(box_text(Memo1));
    std::optional<std::string> content = to_gbk(box_text(Memo2));
    if (!recipients || !content) {
        showMessage(this, QStringLiteral("收信人或短信内容中有无法保存的字符（不在GBK字符集内），短信没有修改。"));
        return;
    }
    if (!rewrite_recipients(day, n, *recipients)) {
        showMessage(this, QStringLiteral("第%1条短信写入失败，没有修改。").arg(n));
        return;
    }
    // The recipients are already rewritten and the engine may have read them: the operator is told
    // exactly which half took, and pressing modify again writes both.
    if (!rewrite_content(day, n, *content)) {
        showMessage(this, QStringLiteral("第%1条短信的收信人已经修改，短信内容写入失败，内容没有修改。").arg(n));
    }
}

void PendingTab::del_dai_BitBtn2Click() {
    int n = state_.selectedMessage();
    std::string day = spool_date(clock_.now());
    if (!pendingToday(day, n, QStringLiteral("禁止发送"))) {
        return;
    }
    std::optional<std::string> recipients = to_gbk(box_text(Memo1));
    if (!recipients) {
        showMessage(this, QStringLiteral("收信人中有无法保存的字符（不在GBK字符集内），短信没有禁止发送。"));
        return;
    }
    // The edits in the recipients box are kept behind the '*', so lifting the bar later is a matter of
    // deleting the '*' and pressing modify.
    if (!bar_record(day, n, *recipients)) {
        showMessage(this, QStringLiteral("第%1条短信写入失败，没有禁止发送。").arg(n));
    }
}
