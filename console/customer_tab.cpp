#include "console/customer_tab.h"

#include "console/control_identity.h"
#include "console/delete_dialog.h"
#include "console/directory_editor.h"
#include "console/directory_list_fill.h"
#include "console/directory_list_view.h"
#include "console/directory_trace.h"
#include "console/limited_text_box.h"
#include "console/message_box.h"
#include "console/qt_text.h"
#include "console/report_list.h"
#include "directory/category_lists.h"
#include "directory/customer_editor.h"
#include "store/customer_files.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int box_limit = 128;
constexpr int notes_limit = 1023;

QLineEdit* makeBox(QWidget* parent, const char* name, QLabel* label, int limit) {
    auto* box = new QLineEdit(parent);
    if (limit > 0) {
        box->setMaxLength(limit);
    }
    nameAfterLabel(box, name, label);
    return box;
}

QStringList rowValues(const CustomerRow& row) {
    return {QString(), QString::number(row.number), from_gbk(row.name), from_gbk(row.phone), from_gbk(row.notes)};
}

// Notes files hold the box's CR LF written in text mode; whichever form a line break comes in, the box
// shows one line break for it.
QString asBoxLines(QString text) {
    text.replace(QStringLiteral("\r\r\n"), QStringLiteral("\n"));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

CustomerTab::CustomerTab(CategoryRecord& record, QWidget* parent) : QWidget(parent), record_(record) {
    fill_ = new DirectoryListFill(this);
    buildControls();
    arrange();

    connect(fill_, &DirectoryListFill::rowsReady, this,
            [this](const QList<QStringList>& rows) { appendDirectoryRows(ListView5, rows); });
    connect(Button11, &QPushButton::clicked, this, &CustomerTab::Button11Click);
    onDoubleClick(TreeView1, [this] { TreeView1DblClick(); });
    onRowsSelected(TreeView1, [this](int row) { TreeView1Change(TreeView1->topLevelItem(row)); });
    onRowsSelected(ListView5, [this](int row) { kehu_listvi_chang(row); });
    onDoubleClick(ListView5, [this] { ListView5DblClick(); });
    connect(add_kehu_button, &QPushButton::clicked, this, &CustomerTab::add_kehu_buttonClick);
    connect(ChaXun_BitBtn1, &QPushButton::clicked, this, &CustomerTab::ChaXun_BitBtn1Click);
    connect(change_kehu_BitBtn2, &QPushButton::clicked, this, &CustomerTab::change_kehu_BitBtn2Click);
    connect(del_keHU_BitBtn4, &QPushButton::clicked, this, &CustomerTab::del_keHU_BitBtn4Click);
}

void CustomerTab::buildControls() {
    TreeView1 = new QTreeWidget(this);
    nameControl(TreeView1, "TreeView1", QString());
    TreeView1->setHeaderHidden(true);
    TreeView1->setRootIsDecorated(false);
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    Button11 = makeNamed<QPushButton>(this, "Button11", QStringLiteral(">客户类别列表(&L)<     "));

    ListView5 = makeDirectoryList(this, "ListView5", QString(),
                                  {QString(), QStringLiteral("序号"), QStringLiteral("姓名"), QStringLiteral("手机号"),
                                   QStringLiteral("客户信息  (双击下面空白，获得内容列表)")},
                                  {1, 40, 80, 100, 300});
    ListView5->setSelectionMode(QAbstractItemView::SingleSelection);

    Label_name = new QLabel(QStringLiteral("姓名     "), this);
    Edit5 = makeBox(this, "Edit5", Label_name, box_limit);
    Label_phone = new QLabel(QStringLiteral("        手机号     "), this);
    Edit6 = makeBox(this, "Edit6", Label_phone, box_limit);
    Label_category = new QLabel(QStringLiteral("客户类别     "), this);
    Edit8 = makeBox(this, "Edit8", Label_category, 0);
    Label_notes1 = new QLabel(QStringLiteral("客户  "), this);
    Label_notes2 = new QLabel(QStringLiteral("信息       "), this);
    Memo13 = new LimitedTextBox(notes_limit, this);
    nameControl(Memo13, "Memo13", Label_notes1->text() + Label_notes2->text());
    Label_notes1->setBuddy(Memo13);

    add_kehu_button = makeNamed<QPushButton>(this, "add_kehu_button", QStringLiteral("增加(&A)"));
    ChaXun_BitBtn1 = makeNamed<QPushButton>(this, "ChaXun_BitBtn1", QStringLiteral("查询(&Q)"));
    change_kehu_BitBtn2 = makeNamed<QPushButton>(this, "change_kehu_BitBtn2", QStringLiteral("修改(&U)"));
    del_keHU_BitBtn4 = makeNamed<QPushButton>(this, "del_keHU_BitBtn4", QStringLiteral("删除(&D)"));
}

void CustomerTab::arrange() {
    auto* categories = new QVBoxLayout;
    categories->addWidget(Button11);
    categories->addWidget(TreeView1, 1);

    auto* boxes = new QGridLayout;
    boxes->addWidget(Label_name, 0, 0);
    boxes->addWidget(Edit5, 0, 1);
    boxes->addWidget(Label_phone, 0, 2);
    boxes->addWidget(Edit6, 0, 3);
    boxes->addWidget(Label_category, 1, 0);
    boxes->addWidget(Edit8, 1, 1, 1, 3);
    auto* notes_label = new QVBoxLayout;
    notes_label->addWidget(Label_notes1);
    notes_label->addWidget(Label_notes2);
    notes_label->addStretch(1);
    boxes->addLayout(notes_label, 2, 0);
    boxes->addWidget(Memo13, 2, 1, 1, 3);

    auto* editor = makeEditorRow(boxes, {add_kehu_button, ChaXun_BitBtn1, change_kehu_BitBtn2, del_keHU_BitBtn4});

    auto* right = new QVBoxLayout;
    right->addWidget(ListView5, 3);
    right->addLayout(editor, 2);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(categories, 1);
    layout->addLayout(right, 4);
}

void CustomerTab::fillCategoryTree() {
    TreeView1->clear();
    for (const std::string& name : categoryTreeNames()) {
        TreeView1->addTopLevelItem(new QTreeWidgetItem(QStringList{from_gbk(name)}));
    }
}

void CustomerTab::TreeView1Change(QTreeWidgetItem* node) {
    if (!node) {
        return;
    }
    std::string name = to_gbk_lossy(node->text(0));
    select_category(record_, name);
    Edit8->setText(node->text(0));
    fillCustomerListNow();
}

void CustomerTab::fillCustomerListNow() {
    fill_->cancel();
    ListView5->clear();
    QList<QStringList> rows;
    customer_list(record_.file, [&](const CustomerRow& row) {
        rows.append(rowValues(row));
        return true;
    });
    appendDirectoryRows(ListView5, rows);
}

void CustomerTab::ListView5DblClick() {
    ListView5->clear();
    // The list reads the category current when it starts, whatever is chosen while it runs.
    fill_->start([file = record_.file](const DirectoryListFill::RowSink& sink) {
        customer_list(file, [&](const CustomerRow& row) { return sink(rowValues(row)); });
    });
}

void CustomerTab::kehu_listvi_chang(int row) {
    if (!selectedItem(ListView5, row)) {
        return;
    }
    const QString name = directoryCell(ListView5, row, 2);
    Edit5->setText(name);
    Edit6->setText(directoryCell(ListView5, row, 3));
    if (auto notes = customer_notes_for_box(record_.file, to_gbk_lossy(name))) {
        set_box_text(Memo13, asBoxLines(from_gbk(*notes)));
    }
}

CustomerInput CustomerTab::typedInput() const {
    return {to_gbk_lossy(Edit8->text()), to_gbk_lossy(Edit5->text()), to_gbk_lossy(Edit6->text()),
            to_gbk_lossy(box_text(Memo13))};
}

void CustomerTab::add_kehu_buttonClick() {
    showGbkMessage(this, customer_add(record_, typedInput()));
}

void CustomerTab::change_kehu_BitBtn2Click() {
    showGbkMessage(this, customer_modify(record_, typedInput()));
}

void CustomerTab::ChaXun_BitBtn1Click() {
    CustomerLookUp found = customer_look_up(to_gbk_lossy(Edit8->text()), to_gbk_lossy(Edit5->text()));
    if (!found.marker_written) {
        traceMarkerNotWritten(category_index_file);
    }
    if (!found.message.empty()) {
        showGbkMessage(this, found.message);
        return;
    }
    Edit6->setText(from_gbk(found.phone));
    set_box_text(Memo13, asBoxLines(from_gbk(found.notes)));
}

void CustomerTab::del_keHU_BitBtn4Click() {
    if (delete_dialog_) {
        delete_dialog_->showCentred();
    }
}
