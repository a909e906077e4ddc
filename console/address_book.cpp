#include "console/address_book.h"

#include "console/control_identity.h"
#include "console/directory_list_fill.h"
#include "console/directory_list_view.h"
#include "console/directory_trace.h"
#include "console/qt_text.h"
#include "console/report_list.h"
#include "directory/address_book_tokens.h"
#include "directory/category_lists.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

void addCategoryNodes(QTreeWidget* tree, const QList<QStringList>& rows) {
    QList<QTreeWidgetItem*> nodes;
    for (const QStringList& row : rows) {
        nodes.append(new QTreeWidgetItem(row));
    }
    // The tree keeps itself sorted by node text.
    tree->addTopLevelItems(nodes);
}

} // namespace

AddressBook::AddressBook(CategoryRecord& record, QPlainTextEdit* shoujihao, QWidget* parent)
    : QWidget(parent), record_(record), shoujihao_(shoujihao) {
    fill_ = new DirectoryListFill(this);

    tongxb = makeNamed<QPushButton>(this, "tongxb", QStringLiteral("通讯簿(&T)"));

    TreeView2 = new QTreeWidget(this);
    nameControl(TreeView2, "TreeView2", QString());
    TreeView2->setHeaderHidden(true);
    TreeView2->setRootIsDecorated(false);
    TreeView2->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeView2->setSortingEnabled(true);
    TreeView2->sortByColumn(0, Qt::AscendingOrder);

    ListView6 = new QTreeWidget(this);
    nameControl(ListView6, "ListView6", QString());
    ListView6->setColumnCount(1);
    ListView6->setHeaderLabels({QStringLiteral("            联  系  人")});
    ListView6->setRootIsDecorated(false);
    ListView6->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView6->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tongxb);
    layout->addWidget(TreeView2, 1);
    layout->addWidget(ListView6, 1);

    connect(fill_, &DirectoryListFill::rowsReady, this,
            [this](const QList<QStringList>& rows) { addCategoryNodes(TreeView2, rows); });
    connect(tongxb, &QPushButton::clicked, this, &AddressBook::tongxunbo_buton);
    onRowsSelected(TreeView2, [this](int row) { TreeView2Change(TreeView2->topLevelItem(row)); });
    onRowsSelected(ListView6, [this](int row) { ListView6Change(row); });
}

void AddressBook::fillTree() {
    fill_->cancel();
    TreeView2->clear();
    QList<QStringList> rows;
    for (const std::string& name : categoryTreeNames()) {
        rows.append({from_gbk(name)});
    }
    addCategoryNodes(TreeView2, rows);
}

void AddressBook::tongxunbo_buton() {
    TreeView2->clear();
    fill_->start([](const DirectoryListFill::RowSink& sink) {
        for (const std::string& name : categoryTreeNames()) {
            if (!sink({from_gbk(name)})) {
                return;
            }
        }
    });
}

void AddressBook::TreeView2Change(QTreeWidgetItem* node) {
    if (!node) {
        return;
    }
    const QString category = node->text(0);
    std::vector<std::string> customers = choose_address_book_category(record_, to_gbk_lossy(category));
    ListView6->headerItem()->setText(0, category);
    ListView6->clear();
    for (const std::string& name : customers) {
        ListView6->addTopLevelItem(new QTreeWidgetItem(QStringList{from_gbk(name)}));
    }
}

void AddressBook::ListView6Change(int row) {
    QTreeWidgetItem* item = selectedItem(ListView6, row);
    if (!item) {
        return;
    }
    const QString present = box_text(shoujihao_);
    std::string token = customer_token(to_gbk_lossy(ListView6->headerItem()->text(0)), to_gbk_lossy(item->text(0)));
    // The rules look at the box as GBK bytes; what is appended keeps the box's own text as it is.
    if (pick_customer(to_gbk_lossy(present), token)) {
        set_box_text(shoujihao_, present + from_gbk(token) + QLatin1Char(';'));
    }
}
