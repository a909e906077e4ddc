#include "console/catalogue_tab.h"

#include "console/control_identity.h"
#include "console/directory_editor.h"
#include "console/directory_list_fill.h"
#include "console/directory_list_view.h"
#include "console/directory_trace.h"
#include "console/limited_text_box.h"
#include "console/message_box.h"
#include "console/qt_text.h"
#include "console/report_list.h"
#include "directory/catalogue_editor.h"
#include "engine/engine_options.h"
#include "platform/gbk.h"
#include "platform/process.h"
#include "store/catalogue_files.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int code_limit = 128;
constexpr int text_limit = 1023;

QStringList rowValues(const CatalogueRow& row) {
    return {QString(), QString::number(row.number), from_gbk(row.code), from_gbk(row.text)};
}

} // namespace

CatalogueTab::CatalogueTab(EngineOptions& options, QWidget* parent) : QWidget(parent), options_(options) {
    fill_ = new DirectoryListFill(this);
    buildControls();
    arrange();
    options_.members_only = CheckBox3->isChecked();

    connect(fill_, &DirectoryListFill::rowsReady, this,
            [this](const QList<QStringList>& rows) { appendDirectoryRows(ListView1, rows); });
    onRowsSelected(ListView1, [this](int row) { dianbo_listview_change(row); });
    onDoubleClick(ListView1, [this] { ListView1DblClick(); });
    connect(add_dianbo, &QPushButton::clicked, this, &CatalogueTab::add_dianboClick);
    connect(ChaXun_DianBoBitBtn1, &QPushButton::clicked, this, &CatalogueTab::ChaXun_DianBoBitBtn1Click);
    connect(change_diaobo, &QPushButton::clicked, this, &CatalogueTab::change_diaoboClick);
    connect(del_dianbao, &QPushButton::clicked, this, &CatalogueTab::del_dianbaoClick);
    del_dianbao->installEventFilter(this);
    connect(CheckBox3, &QCheckBox::toggled, this, &CatalogueTab::CheckBox3Click);
    connect(Button12, &QPushButton::clicked, this, &CatalogueTab::Button12Click);
}

void CatalogueTab::buildControls() {
    ListView1 = makeDirectoryList(this, "ListView1", QString(),
                                  {QString(), QStringLiteral("序号"), QStringLiteral("信息代码"),
                                   QStringLiteral("信息内容  (双击下面空白，获得内容列表)")},
                                  {1, 50, 120, 400});
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);

    Label_code = new QLabel(QStringLiteral("短信代码 ：        "), this);
    Edit7 = new QLineEdit(this);
    Edit7->setMaxLength(code_limit);
    nameAfterLabel(Edit7, "Edit7", Label_code);

    Label_text = new QLabel(QStringLiteral("短信内容：    "), this);
    Memo8 = new LimitedTextBox(text_limit, this);
    nameAfterLabel(Memo8, "Memo8", Label_text);

    add_dianbo = makeNamed<QPushButton>(this, "add_dianbo", QStringLiteral("增加(&A)"));
    ChaXun_DianBoBitBtn1 = makeNamed<QPushButton>(this, "ChaXun_DianBoBitBtn1", QStringLiteral("查询(&Q)"));
    change_diaobo = makeNamed<QPushButton>(this, "change_diaobo", QStringLiteral("修改(&U)"));
    del_dianbao = makeNamed<QPushButton>(this, "del_dianbao", QStringLiteral("删除(&D)"));
    CheckBox3 = makeNamed<QCheckBox>(this, "CheckBox3", QStringLiteral("只有会员才回复               "));
    Button12 = makeNamed<QPushButton>(this, "Button12", QStringLiteral("会员管理(&H)"));
}

void CatalogueTab::arrange() {
    auto* boxes = new QGridLayout;
    boxes->addWidget(Label_code, 0, 0);
    boxes->addWidget(Edit7, 0, 1);
    boxes->addWidget(Label_text, 1, 0, Qt::AlignTop);
    boxes->addWidget(Memo8, 1, 1);

    auto* editor = makeEditorRow(boxes, {add_dianbo, ChaXun_DianBoBitBtn1, change_diaobo, del_dianbao});

    auto* members = new QHBoxLayout;
    members->addWidget(CheckBox3);
    members->addStretch(1);
    members->addWidget(Button12);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListView1, 3);
    layout->addLayout(editor, 2);
    layout->addLayout(members);
}

std::string CatalogueTab::codeText() const {
    return to_gbk_lossy(Edit7->text());
}

std::string CatalogueTab::typedText() const {
    return to_gbk_lossy(box_text(Memo8));
}

void CatalogueTab::add_dianboClick() {
    showGbkMessage(this, catalogue_add(codeText(), typedText()));
}

void CatalogueTab::change_diaoboClick() {
    showGbkMessage(this, catalogue_modify(codeText(), typedText()));
}

void CatalogueTab::del_dianbaoClick() {
    showGbkMessage(this, catalogue_delete(codeText()));
}

void CatalogueTab::ChaXun_DianBoBitBtn1Click() {
    CatalogueLookUp found = catalogue_look_up(codeText());
    if (!found.marker_written) {
        traceMarkerNotWritten(catalogue_file);
    }
    set_box_text(Memo8, from_gbk(found.text));
}

void CatalogueTab::ListView1DblClick() {
    ListView1->clear();
    fill_->start([](const DirectoryListFill::RowSink& sink) {
        catalogue_list([&](const CatalogueRow& row) { return sink(rowValues(row)); });
    });
}

void CatalogueTab::dianbo_listview_change(int row) {
    if (!selectedItem(ListView1, row)) {
        return;
    }
    Edit7->setText(directoryCell(ListView1, row, 2));
    set_box_text(Memo8, directoryCell(ListView1, row, 3));
}

void CatalogueTab::Button12Click() {
    if (!open_in_text_editor(members_file)) {
        showMessage(this, QStringLiteral("用记事本打开 huiyuan.txt 进行管理"));
    }
}

void CatalogueTab::CheckBox3Click() {
    options_.members_only = CheckBox3->isChecked();
}

bool CatalogueTab::eventFilter(QObject* watched, QEvent* event) {
    // Moving onto the delete button with the keyboard deletes, as it always has. A press that gives the
    // button the focus deletes through its click alone, so each press deletes once.
    if (watched == del_dianbao && event->type() == QEvent::FocusIn) {
        Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
            del_dianbaoClick();
        }
    }
    return QWidget::eventFilter(watched, event);
}
