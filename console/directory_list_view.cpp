#include "console/directory_list_view.h"

#include "console/report_list.h"

#include <QHeaderView>
#include <QTreeWidget>

QTreeWidget* makeDirectoryList(QWidget* parent, const char* name, const QString& caption, const QStringList& headers,
                               const QList<int>& widths) {
    auto* list = new QTreeWidget(parent);
    list->setColumnCount(static_cast<int>(headers.size()));
    list->setHeaderLabels(headers);
    setUpReportList(list, name, caption, widths);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->header()->setStretchLastSection(true);
    return list;
}

void appendDirectoryRows(QTreeWidget* list, const QList<QStringList>& rows) {
    QList<QTreeWidgetItem*> items;
    items.reserve(rows.size());
    for (const QStringList& row : rows) {
        auto* item = new QTreeWidgetItem;
        for (int column = 0; column < row.size(); ++column) {
            item->setText(column, oneLine(row.at(column)));
            item->setData(column, Qt::UserRole, row.at(column));
        }
        items.append(item);
    }
    list->addTopLevelItems(items);
}

QString directoryCell(const QTreeWidget* list, int row, int column) {
    const QTreeWidgetItem* item = list->topLevelItem(row);
    return item ? item->data(column, Qt::UserRole).toString() : QString();
}

QTreeWidgetItem* selectedItem(const QTreeWidget* list, int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    return item && item->isSelected() ? item : nullptr;
}
