#include "console/list_fill.h"

#include "console/qt_text.h"

#include <QThread>

#include <utility>

QStringList ListRow::values() const {
    QStringList out{running, record, recipients, content, time};
    if (barred) {
        out << QStringLiteral("禁发");
    }
    return out;
}

QString ListRow::valueLine(int k) const {
    QString joined;
    for (const QString& value : values()) {
        joined += value + QStringLiteral("\r\n");
    }
    QStringList lines = joined.split(QLatin1Char('\n'));
    if (k < 1 || k > lines.size()) {
        return {};
    }
    QString line = lines.at(k - 1);
    if (line.endsWith(QLatin1Char('\r'))) {
        line.chop(1);
    }
    return line;
}

// Lives on the list's own thread and walks the spool there. Every step checks the generation, so a
// fill that a newer request has replaced stops at the next record.
class ListFillWorker : public QObject {
    Q_OBJECT
public:
    ListFillWorker(ListKind kind, std::shared_ptr<std::atomic<quint64>> generation)
        : kind_(kind), generation_(std::move(generation)) {}

    void run(quint64 generation, const std::string& day);

signals:
    void cleared(quint64 generation);
    void rowsReady(quint64 generation, const ListRows& rows);
    void finished(quint64 generation);

private:
    bool replaced(quint64 generation) const { return generation_->load() != generation; }
    void walk(quint64 generation, const std::string& day, const ListSpan& span);

    ListKind kind_;
    std::shared_ptr<std::atomic<quint64>> generation_;
};

namespace {

ListRow toListRow(const SpoolListRow& row, long running) {
    ListRow out;
    out.running = QString::number(running);
    out.record = QString::number(row.record);
    out.recipients = from_gbk(row.recipients);
    out.content = from_gbk(row.content);
    out.time = from_gbk(row.time);
    out.barred = row.barred;
    return out;
}

} // namespace

void ListFillWorker::run(quint64 generation, const std::string& day) {
    if (!replaced(generation)) {
        if (clears_before_reading(kind_)) {
            emit cleared(generation);
        }
        if (auto span = list_span(kind_, day)) {
            if (!clears_before_reading(kind_)) {
                emit cleared(generation);
            }
            walk(generation, day, *span);
        }
    }
    emit finished(generation);
}

void ListFillWorker::walk(quint64 generation, const std::string& day, const ListSpan& span) {
    ListRows batch;
    batch.reserve(ListFill::batch_size);
    long running = 0;
    for (long i = span.first; i <= span.last && !replaced(generation); ++i) {
        auto row = read_list_row(day, span, i);
        if (!row) {
            if (span.stop_at_gap) {
                break;
            }
            continue;
        }
        batch.push_back(toListRow(*row, ++running));
        if (batch.size() >= ListFill::batch_size) {
            emit rowsReady(generation, batch);
            batch.clear();
        }
    }
    if (!batch.isEmpty() && !replaced(generation)) {
        emit rowsReady(generation, batch);
    }
}

ListFill::ListFill(ListKind kind, QObject* parent)
    : QObject(parent), generation_(std::make_shared<std::atomic<quint64>>(0)) {
    qRegisterMetaType<ListRows>("ListRows");
    thread_ = new QThread(this);
    worker_ = new ListFillWorker(kind, generation_);
    worker_->moveToThread(thread_);
    connect(worker_, &ListFillWorker::cleared, this, &ListFill::onCleared, Qt::QueuedConnection);
    connect(worker_, &ListFillWorker::rowsReady, this, &ListFill::onRows, Qt::QueuedConnection);
    connect(worker_, &ListFillWorker::finished, this, &ListFill::onFinished, Qt::QueuedConnection);
    thread_->start();
}

ListFill::~ListFill() {
    // Replacing the running fill with none makes it stop at its next record, so the wait is short.
    ++*generation_;
    thread_->quit();
    thread_->wait();
    delete worker_;
}

void ListFill::start(const std::string& day) {
    quint64 generation = ++*generation_;
    running_ = true;
    ListFillWorker* worker = worker_;
    QMetaObject::invokeMethod(
        worker_, [worker, generation, day] { worker->run(generation, day); }, Qt::QueuedConnection);
}

void ListFill::onCleared(quint64 generation) {
    if (generation == generation_->load()) {
        emit cleared();
    }
}

void ListFill::onRows(quint64 generation, const ListRows& rows) {
    if (generation == generation_->load()) {
        emit rowsReady(rows);
    }
}

void ListFill::onFinished(quint64 generation) {
    if (generation == generation_->load()) {
        running_ = false;
        emit finished();
    }
}

#include "list_fill.moc"
