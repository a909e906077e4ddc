#pragma once

#include "console/background_fill.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

// Reads one list of the directory (catalogue, customers, categories) in the background and hands the
// rows to the GUI thread in batches. A new start() replaces a read still running (see BackgroundFill).
class DirectoryListFill : public QObject {
    Q_OBJECT
public:
    using Row = QStringList;
    // Takes one row on the worker thread; false once the read has been replaced, to stop it.
    using RowSink = std::function<bool(Row)>;
    // Reads the files on the worker thread, handing each row to the sink.
    using Reader = std::function<void(const RowSink&)>;

    static constexpr int batch_size = 64;

    explicit DirectoryListFill(QObject* parent = nullptr);

    void start(Reader read);
    // Drops whatever a running read still delivers: a fill made directly on the GUI thread takes over.
    void cancel() { fill_.cancel(); }
    bool running() const { return fill_.running(); }

signals:
    // For each read that is not replaced: any number of rowsReady, then finished.
    void rowsReady(const QList<QStringList>& rows);
    void finished();

private:
    BackgroundFill fill_;
};
