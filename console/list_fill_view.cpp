#include "console/list_fill_view.h"

#include "console/list_fill_model.h"
#include "console/report_list.h"

#include <QHeaderView>
#include <QTreeView>

QTreeView* makeReportView(QWidget* parent, const char* name, const QString& caption, ListRowsModel* model,
                          const QList<int>& widths) {
    auto* view = new QTreeView(parent);
    view->setModel(model);
    setUpReportList(view, name, caption, widths);
    view->setTextElideMode(Qt::ElideRight);
    view->header()->setStretchLastSection(false);
    return view;
}
