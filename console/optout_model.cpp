#include "console/optout_model.h"

#include "console/qt_text.h"
#include "console/report_list.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

enum Column { NumberColumn, DayColumn, KeywordColumn, ColumnCount };

} // namespace

OptOutModel::OptOutModel(QObject* parent) : QAbstractTableModel(parent) {}

int OptOutModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return static_cast<int>(std::min<std::size_t>(entries_.size(), std::numeric_limits<int>::max()));
}

int OptOutModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant OptOutModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) {
        return {};
    }
    const OptOutEntry& shown = entry(index.row());
    switch (index.column()) {
    case NumberColumn:
        return from_gbk(shown.number);
    case DayColumn:
        return from_gbk(shown.day);
    case KeywordColumn:
        return oneLine(from_gbk(shown.keyword));
    default:
        return {};
    }
}

QVariant OptOutModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case NumberColumn:
        return QStringLiteral("号码");
    case DayColumn:
        return QStringLiteral("退订日期");
    case KeywordColumn:
        return QStringLiteral("关键字");
    default:
        return {};
    }
}

void OptOutModel::setEntries(std::vector<OptOutEntry> entries) {
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
}
