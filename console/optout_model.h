#pragma once

#include "store/optout_list.h"

#include <QAbstractTableModel>

#include <vector>

// The opt-out list as the tab shows it, read-only: number, the day it was added, the keyword. The
// entries are held as read (GBK keywords) and turned into text only for the rows in view, so a list of
// a million numbers costs no more than its entries.
class OptOutModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit OptOutModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void setEntries(std::vector<OptOutEntry> entries);
    const OptOutEntry& entry(int row) const { return entries_.at(static_cast<std::size_t>(row)); }

private:
    std::vector<OptOutEntry> entries_;
};
