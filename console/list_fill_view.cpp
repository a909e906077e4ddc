#include "console/list_fill_view.h"

#include "console/control_identity.h"
#include "console/list_fill_model.h"

#include <QHeaderView>
#include <QItemSelection>
#include <QTreeView>

QTreeView* makeReportView(QWidget* parent, const char* name, const QString& caption, ListRowsModel* model,
                          const QList<int>& widths) {
    auto* view = new QTreeView(parent);
    nameControl(view, name, caption);
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setTextElideMode(Qt::ElideRight);
    view->header()->setMinimumSectionSize(1);
    view->header()->setStretchLastSection(false);
    view->header()->setSectionsMovable(false);
    for (int column = 0; column < widths.size(); ++column) {
        view->setColumnWidth(column, widths.at(column));
    }
    return view;
}

int lastSelectedRow(const QItemSelection& selected) {
    return selected.isEmpty() ? -1 : selected.last().bottom();
}
