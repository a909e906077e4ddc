#include "console/background_fill.h"

#include <QThread>

bool BackgroundFill::Run::replaced() const {
    return !fill_->current(generation_);
}

void BackgroundFill::Run::deliver(std::function<void()> step) const {
    BackgroundFill* fill = fill_;
    quint64 generation = generation_;
    QMetaObject::invokeMethod(
        fill,
        [fill, generation, step = std::move(step)] {
            if (fill->current(generation)) {
                step();
            }
        },
        Qt::QueuedConnection);
}

BackgroundFill::BackgroundFill(QObject* parent) : QObject(parent) {
    thread_ = new QThread(this);
    worker_ = new QObject;
    worker_->moveToThread(thread_);
    thread_->start();
}

BackgroundFill::~BackgroundFill() {
    // Replacing the running fill with none makes it stop at its next check, so the wait is short.
    cancel();
    thread_->quit();
    thread_->wait();
    delete worker_;
}

void BackgroundFill::start(Job job) {
    quint64 generation = ++generation_;
    running_ = true;
    QMetaObject::invokeMethod(
        worker_,
        [this, generation, job = std::move(job)] {
            job(Run(this, generation));
            QMetaObject::invokeMethod(
                this, [this, generation] { onFinished(generation); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void BackgroundFill::cancel() {
    ++generation_;
    running_ = false;
}

void BackgroundFill::onFinished(quint64 generation) {
    if (current(generation)) {
        running_ = false;
        emit finished();
    }
}
