#pragma once

#include <QList>
#include <QObject>

#include <atomic>
#include <functional>
#include <utility>

class QThread;

// Fills one list on a thread of its own and hands what the fill delivers to the GUI thread, in order.
// A new start() replaces a fill still running: the old one stops at its next check and whatever it
// delivered that has not reached the GUI thread yet is dropped. One thread serves the list, so two
// fills of it never run at once.
class BackgroundFill : public QObject {
    Q_OBJECT
public:
    // One fill, as its job on the worker thread sees it.
    class Run {
    public:
        // Whether a newer start() or a cancel() has replaced this fill; destroying the fill cancels it.
        bool replaced() const;
        // Calls `step` on the GUI thread after the steps delivered before it, unless the fill has been
        // replaced by then.
        void deliver(std::function<void()> step) const;

    private:
        friend class BackgroundFill;
        Run(BackgroundFill* fill, quint64 generation) : fill_(fill), generation_(generation) {}

        BackgroundFill* fill_;
        quint64 generation_;
    };
    using Job = std::function<void(const Run&)>;

    explicit BackgroundFill(QObject* parent = nullptr);
    ~BackgroundFill() override;

    void start(Job job);
    // Drops whatever a running fill still delivers: a fill made directly on the GUI thread takes over.
    void cancel();
    bool running() const { return running_; }

signals:
    // Once for each fill that is not replaced, after everything it delivered.
    void finished();

private:
    bool current(quint64 generation) const { return generation_.load() == generation; }
    void onFinished(quint64 generation);

    std::atomic<quint64> generation_{0};
    QThread* thread_ = nullptr;
    QObject* worker_ = nullptr; // lives on thread_; the jobs run in its event loop
    bool running_ = false;
};

// Gathers a fill's rows into batches and delivers each batch as one step, so a list of thousands of
// rows costs the GUI thread a few hundred model updates instead of one per row.
template <class Row> class RowBatches {
public:
    // `take` receives each batch on the GUI thread.
    RowBatches(const BackgroundFill::Run& run, qsizetype size, std::function<void(const QList<Row>&)> take)
        : run_(run), size_(size), take_(std::move(take)) {
        batch_.reserve(size_);
    }

    void add(Row row) {
        batch_.append(std::move(row));
        if (batch_.size() >= size_) {
            send();
        }
    }

    // Delivers the last, partial batch of a fill that has not been replaced.
    void flush() {
        if (!batch_.isEmpty() && !run_.replaced()) {
            send();
        }
    }

private:
    void send() {
        run_.deliver([take = take_, batch = batch_] { take(batch); });
        batch_.clear();
    }

    const BackgroundFill::Run& run_;
    qsizetype size_;
    std::function<void(const QList<Row>&)> take_;
    QList<Row> batch_;
};
