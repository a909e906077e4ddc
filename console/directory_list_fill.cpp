#include "console/directory_list_fill.h"

#include <QThread>

#include <utility>

// Lives on the list's thread and runs the readers there.
class DirectoryListFillWorker : public QObject {
    Q_OBJECT
public:
    explicit DirectoryListFillWorker(std::shared_ptr<std::atomic<quint64>> generation)
        : generation_(std::move(generation)) {}

    void run(quint64 generation, const DirectoryListFill::Reader& read) {
        QList<QStringList> batch;
        auto replaced = [&] { return generation_->load() != generation; };
        read([&](QStringList row) {
            if (replaced()) {
                return false;
            }
            batch.append(std::move(row));
            if (batch.size() >= DirectoryListFill::batch_size) {
                emit rowsReady(generation, batch);
                batch.clear();
            }
            return true;
        });
        if (!batch.isEmpty() && !replaced()) {
            emit rowsReady(generation, batch);
        }
        emit finished(generation);
    }

signals:
    void rowsReady(quint64 generation, const QList<QStringList>& rows);
    void finished(quint64 generation);

private:
    std::shared_ptr<std::atomic<quint64>> generation_;
};

DirectoryListFill::DirectoryListFill(QObject* parent)
    : QObject(parent), generation_(std::make_shared<std::atomic<quint64>>(0)) {
    thread_ = new QThread(this);
    worker_ = new DirectoryListFillWorker(generation_);
    worker_->moveToThread(thread_);
    connect(worker_, &DirectoryListFillWorker::rowsReady, this, &DirectoryListFill::onRows, Qt::QueuedConnection);
    connect(worker_, &DirectoryListFillWorker::finished, this, &DirectoryListFill::onFinished, Qt::QueuedConnection);
    thread_->start();
}

DirectoryListFill::~DirectoryListFill() {
    cancel();
    thread_->quit();
    thread_->wait();
    delete worker_;
}

void DirectoryListFill::start(Reader read) {
    quint64 generation = ++*generation_;
    running_ = true;
    QMetaObject::invokeMethod(
        worker_, [worker = worker_, generation, read = std::move(read)] { worker->run(generation, read); },
        Qt::QueuedConnection);
}

void DirectoryListFill::cancel() {
    ++*generation_;
    running_ = false;
}

void DirectoryListFill::onRows(quint64 generation, const QList<QStringList>& rows) {
    if (generation == generation_->load()) {
        emit rowsReady(rows);
    }
}

void DirectoryListFill::onFinished(quint64 generation) {
    if (generation == generation_->load()) {
        running_ = false;
        emit finished();
    }
}

#include "directory_list_fill.moc"
