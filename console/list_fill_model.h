#pragma once

#include "console/list_fill.h"

#include <QAbstractTableModel>
#include <QStringList>

// The rows of one message list: an empty caption column, then the running number, the record number,
// recipients (or sender), content and time. Texts are kept as read; the view shows their line breaks
// as blanks so each row stays one line high.
class ListRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    ListRowsModel(const QStringList& headers, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void clear();
    void append(const ListRows& rows);
    const ListRow& row(int r) const { return rows_.at(r); }

private:
    QStringList headers_;
    ListRows rows_;
};
