#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class QThread;
class DirectoryListFillWorker;

// Reads one list of the directory (catalogue, customers, categories) on a thread of its own and hands
// the rows to the GUI thread in batches, through queued signals. A new start() replaces a read still
// running: the old one stops at its next row and its rows still on their way are dropped. One thread
// serves the list, so two reads of it never run at once.
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
    ~DirectoryListFill() override;

    void start(Reader read);
    // Drops whatever a running read still delivers: a fill made directly on the GUI thread takes over.
    void cancel();
    bool running() const { return running_; }

signals:
    // For each read that is not replaced: any number of rowsReady, then finished.
    void rowsReady(const QList<QStringList>& rows);
    void finished();

private:
    void onRows(quint64 generation, const QList<QStringList>& rows);
    void onFinished(quint64 generation);

    std::shared_ptr<std::atomic<quint64>> generation_;
    QThread* thread_ = nullptr;
    DirectoryListFillWorker* worker_ = nullptr;
    bool running_ = false;
};
