#include "console/report_list.h"

#include "console/control_identity.h"

#include <QEvent>
#include <QHeaderView>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QTreeView>

#include <algorithm>
#include <utility>

namespace {

// Hands every double-click on a view's viewport to a handler.
class DoubleClickFilter : public QObject {
public:
    DoubleClickFilter(QObject* parent, std::function<void()> handler) : QObject(parent), handler_(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonDblClick) {
            handler_();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> handler_;
};

QList<int> newlySelectedRows(const QItemSelection& selected) {
    QList<int> rows;
    for (const QModelIndex& index : selected.indexes()) {
        if (index.column() == 0 && !index.parent().isValid()) {
            rows.append(index.row());
        }
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

void setUpReportList(QTreeView* list, const char* name, const QString& caption, const QList<int>& widths) {
    nameControl(list, name, caption);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->header()->setMinimumSectionSize(1);
    list->header()->setSectionsMovable(false);
    for (int column = 0; column < widths.size(); ++column) {
        list->setColumnWidth(column, widths.at(column));
    }
}

QString oneLine(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

void onDoubleClick(QAbstractItemView* view, std::function<void()> handler) {
    view->viewport()->installEventFilter(new DoubleClickFilter(view, std::move(handler)));
}

void onRowsSelected(QAbstractItemView* view, std::function<void(int row)> handler) {
    QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, view,
                     [handler = std::move(handler)](const QItemSelection& selected) {
                         for (int row : newlySelectedRows(selected)) {
                             handler(row);
                         }
                     });
}

void onLastRowSelected(QAbstractItemView* view, std::function<void(int row)> handler) {
    QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, view,
                     [handler = std::move(handler)](const QItemSelection& selected) {
                         if (!selected.isEmpty()) {
                             handler(selected.last().bottom());
                         }
                     });
}
