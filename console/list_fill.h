#pragma once

#include "console/list_fill_rows.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>
#include <memory>
#include <string>

class QThread;

// One list row as the view shows it: the values after the empty caption, in column order.
struct ListRow {
    QString running; // running row number 1, 2, 3 ...
    QString record;  // the record number
    QString recipients;
    QString content;
    QString time;
    bool barred = false;

    // The row's values one per item, "禁发" last for a barred record: what a selection reads lines from.
    QStringList values() const;
    // Line k (from 1) of the values joined one per line, without its line end; empty past the last line.
    // The selections read the record number and the received sender and text this way, so a value with
    // several lines of its own shifts what follows it.
    QString valueLine(int k) const;
};
using ListRows = QVector<ListRow>;

class ListFillWorker;

// Fills one list from the spool on a worker thread of its own and hands the rows to the GUI thread in
// batches, through queued signals. A new start() replaces a fill still running: the old one stops at its
// next record and its rows already on their way are dropped. Because one thread serves the list, two
// fills of it never run at once.
class ListFill : public QObject {
    Q_OBJECT
public:
    // Rows travel to the GUI thread in batches of this size, so a day of thousands of records costs a
    // few hundred model updates instead of one per row.
    static constexpr int batch_size = 256;

    explicit ListFill(ListKind kind, QObject* parent = nullptr);
    ~ListFill() override;

    void start(const std::string& day);
    bool running() const { return running_; }

signals:
    // In this order for each fill that is not replaced: cleared (unless the fill leaves the list as it
    // was), any number of rowsReady, finished.
    void cleared();
    void rowsReady(const ListRows& rows);
    void finished();

private:
    void onCleared(quint64 generation);
    void onRows(quint64 generation, const ListRows& rows);
    void onFinished(quint64 generation);

    std::shared_ptr<std::atomic<quint64>> generation_;
    QThread* thread_ = nullptr;
    ListFillWorker* worker_ = nullptr;
    bool running_ = false;
};
