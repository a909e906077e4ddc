#pragma once

#include "console/background_fill.h"
#include "console/list_fill_rows.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <string>

// One list row as the view shows it: the values after the empty caption, in column order.
struct ListRow {
    QString running; // running row number 1, 2, 3 ...
    QString record;  // the record number
    QString recipients;
    QString content;
    QString time;
    bool barred = false;
    QString delivery; // the sent list's delivery column: what the reports said, empty without any

    // The row's values one per item, "禁发" last for a barred record: what a selection reads lines from.
    QStringList values() const;
    // Line k (from 1) of the values joined one per line, without its line end; empty past the last line.
    // The selections read the record number and the received sender and text this way, so a value with
    // several lines of its own shifts what follows it.
    QString valueLine(int k) const;
};
using ListRows = QVector<ListRow>;

// Fills one message list from the spool in the background and hands the rows to the GUI thread in
// batches. A new start() replaces a fill still running (see BackgroundFill).
class ListFill : public QObject {
    Q_OBJECT
public:
    // Rows travel to the GUI thread in batches of this size, so a day of thousands of records costs a
    // few hundred model updates instead of one per row.
    static constexpr int batch_size = 256;

    explicit ListFill(ListKind kind, QObject* parent = nullptr);

    void start(const std::string& day);
    bool running() const { return fill_.running(); }

signals:
    // In this order for each fill that is not replaced: cleared (unless the fill leaves the list as it
    // was), any number of rowsReady, finished.
    void cleared();
    void rowsReady(const ListRows& rows);
    void finished();

private:
    ListKind kind_;
    // Declared last, so its thread has stopped before the rest of the object goes.
    BackgroundFill fill_;
};
