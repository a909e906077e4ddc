#include "console/history_tab.h"

#include "console/chosen_record.h"
#include "console/control_identity.h"
#include "console/limited_text_box.h"
#include "console/list_fill.h"
#include "console/list_fill_model.h"
#include "console/list_fill_view.h"
#include "console/qt_text.h"
#include "console/report_list.h"
#include "platform/clock.h"
#include "store/day_navigation.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

struct HistoryNames {
    const char* list;
    QString tab_caption;
    QStringList headers;
    QList<int> widths;
    const char* date_label;
    QString date_caption;
    const char* date_box;
    int date_limit;
    const char* previous;
    const char* next;
    const char* from_label;
    QString from_caption;
    const char* from_box;
    int from_limit;
    const char* text_label;
    QString text_caption;
    const char* text_box;
};

const QString content_header = QStringLiteral("短信内容  (双击下面空白，获得内容列表)");

HistoryNames sentNames() {
    return {"ListView3",
            QStringLiteral("已发送sms"),
            {QString(), QString(), QStringLiteral("序号"), QStringLiteral("收信人"), content_header,
             QStringLiteral("发送时间"), QStringLiteral("送达情况")},
            // The time column takes a whole date and time ("2004-12-10 17:16:31").
            {1, 1, 35, 100, 380, 135, 90},
            "Label14",
            QStringLiteral("日期：  "),
            "nian_Edit7",
            1023,
            "Button5",
            "Button6",
            "Label4",
            QStringLiteral("收  信  人： "),
            "Memo3",
            10240,
            "Label5",
            QStringLiteral("短信 内容："),
            "Memo4"};
}

HistoryNames receivedNames() {
    return {"ListView4",
            QStringLiteral("已接收sms"),
            {QString(), QStringLiteral("信息内容"), QStringLiteral("序号"), QStringLiteral("发信人"), content_header,
             QStringLiteral("收到时间")},
            {1, 1, 35, 100, 400, 135},
            "Label11",
            QStringLiteral("日期：    "),
            "Edit4",
            0,
            "Button3",
            "Button4",
            "Label6",
            QStringLiteral("收 信 人：   "),
            "Memo5",
            1023,
            "Label7",
            QStringLiteral("短信内容：    "),
            "Memo6"};
}

} // namespace

HistoryTab::HistoryTab(ListKind kind, ConsoleState& state, Clock& clock, QWidget* parent)
    : QWidget(parent), kind_(kind), state_(state), clock_(clock) {
    const HistoryNames names = kind == ListKind::Sent ? sentNames() : receivedNames();
    rows_ = new ListRowsModel(names.headers, this);
    list_ = makeReportView(this, names.list, names.tab_caption, rows_, names.widths);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);

    date_label_ = makeNamed<QLabel>(this, names.date_label, names.date_caption);
    date_box_ = new QLineEdit(this);
    nameAfterLabel(date_box_, names.date_box, date_label_);
    if (names.date_limit > 0) {
        date_box_->setMaxLength(names.date_limit);
    }
    previous_button_ = makeNamed<QPushButton>(this, names.previous, QStringLiteral("上一工作日(&U)"));
    next_button_ = makeNamed<QPushButton>(this, names.next, QStringLiteral("下一工作日(&D)"));
    from_label_ = makeNamed<QLabel>(this, names.from_label, names.from_caption);
    from_box_ = new LimitedTextBox(names.from_limit, this);
    nameAfterLabel(from_box_, names.from_box, from_label_);
    text_label_ = makeNamed<QLabel>(this, names.text_label, names.text_caption);
    text_box_ = new LimitedTextBox(1023, this);
    nameAfterLabel(text_box_, names.text_box, text_label_);
    if (kind == ListKind::Sent) {
        from_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }

    fill_ = new ListFill(kind, this);
    connect(fill_, &ListFill::cleared, rows_, &ListRowsModel::clear);
    connect(fill_, &ListFill::rowsReady, this, [this](const ListRows& rows) {
        rows_->append(rows);
        // The box names the day the list shows once the list shows something of it.
        if (!rows.isEmpty()) {
            date_box_->setText(fill_day_);
        }
    });
    onDoubleClick(list_, [this] { fillList(); });
    onLastRowSelected(list_, [this](int row) { rowSelected(row); });
    connect(previous_button_, &QPushButton::clicked, this, &HistoryTab::previousDay);
    connect(next_button_, &QPushButton::clicked, this, &HistoryTab::nextDay);

    auto* dayRow = new QHBoxLayout;
    dayRow->addWidget(date_label_);
    dayRow->addWidget(date_box_, 1);
    dayRow->addWidget(previous_button_);
    dayRow->addWidget(next_button_);
    dayRow->addStretch(1);
    auto* boxes = new QGridLayout;
    boxes->addWidget(from_label_, 0, 0, Qt::AlignTop);
    boxes->addWidget(from_box_, 0, 1);
    boxes->addWidget(text_label_, 1, 0, Qt::AlignTop);
    boxes->addWidget(text_box_, 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(dayRow);
    layout->addWidget(list_, 3);
    layout->addLayout(boxes, 2);
}

std::string HistoryTab::chosenDay() const {
    return chosen_day(date_box_->text().toStdString(), spool_date(clock_.now()));
}

void HistoryTab::fillList() {
    std::string day = chosenDay();
    fill_day_ = QString::fromStdString(day);
    fill_->start(day);
}

void HistoryTab::previousDay() {
    date_box_->setText(
        QString::fromStdString(previous_day_text(date_box_->text().toStdString(), spool_date(clock_.now()))));
}

void HistoryTab::nextDay() {
    date_box_->setText(
        QString::fromStdString(next_day_text(date_box_->text().toStdString(), spool_date(clock_.now()))));
}

SentTab::SentTab(ConsoleState& state, Clock& clock, QWidget* parent)
    : HistoryTab(ListKind::Sent, state, clock, parent) {
    showDeliveryColumn(false);
}

void SentTab::showDeliveryColumn(bool shown) {
    constexpr int delivery_column = 6;
    list_->setColumnHidden(delivery_column, !shown);
}

void SentTab::YiifaduanXinlistView(int row) {
    if (row < 0 || row >= rows_->rowCount()) {
        return;
    }
    loadChosenRecord(state_, rows_->row(row), chosenDay(), from_box_, text_box_);
}

ReceivedTab::ReceivedTab(ConsoleState& state, Clock& clock, QWidget* parent)
    : HistoryTab(ListKind::Received, state, clock, parent) {}

// The row already holds what the boxes show, so no file is read: the sender is the third line of the
// row's values and the text the fourth, which for a text of several lines is its first line only.
void ReceivedTab::YiJieShouListView4Change(int row) {
    if (row < 0 || row >= rows_->rowCount()) {
        return;
    }
    const ListRow& r = rows_->row(row);
    set_box_text(from_box_, r.valueLine(3));
    set_box_text(text_box_, r.valueLine(4));
}
