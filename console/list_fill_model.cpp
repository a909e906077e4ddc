#include "console/list_fill_model.h"

#include "console/report_list.h"

ListRowsModel::ListRowsModel(const QStringList& headers, QObject* parent)
    : QAbstractTableModel(parent), headers_(headers) {}

int ListRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ListRowsModel::columnCount(const QModelIndex& parent) const {
    // Six columns; the sent list has a seventh, for the delivery reports.
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant ListRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
        return {};
    }
    const ListRow& r = rows_.at(index.row());
    switch (index.column()) {
    case 1:
        return r.running;
    case 2:
        return r.record;
    case 3:
        return role == Qt::DisplayRole ? oneLine(r.recipients) : r.recipients;
    case 4:
        return role == Qt::DisplayRole ? oneLine(r.content) : r.content;
    case 5:
        return r.time;
    case 6:
        return r.delivery;
    default:
        return QString(); // the row's caption, always empty
    }
}

QVariant ListRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= headers_.size()) {
        return {};
    }
    return headers_.at(section);
}

void ListRowsModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void ListRowsModel::append(const ListRows& rows) {
    if (rows.isEmpty()) {
        return;
    }
    int first = static_cast<int>(rows_.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    rows_ += rows;
    endInsertRows();
}
