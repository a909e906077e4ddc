#include "console/device_test_runner.h"

#include "console/qt_text.h"

#include <QMetaObject>

DeviceTestRunner::DeviceTestRunner(DeviceTestWait wait, PortOpener open, QObject* parent)
    : QObject(parent), wait_(std::move(wait)), open_(std::move(open)) {}

DeviceTestRunner::~DeviceTestRunner() {
    stop();
}

void DeviceTestRunner::start(bool start_button_enabled) {
    if (running_) {
        return;
    }
    running_ = true;
    stop_.reset();
    worker_ = std::thread([this, start_button_enabled] {
        run_device_test(
            start_button_enabled, wait_, open_, [this](const DeviceTestStep& step) { post(step); }, stop_);
        post(std::nullopt);
    });
}

void DeviceTestRunner::stop() {
    stop_.request();
    if (worker_.joinable()) {
        worker_.join();
    }
    steps_.clear();
    running_ = false;
}

void DeviceTestRunner::post(Item item) {
    if (steps_.push([this, item = std::move(item)] { show(item); })) {
        QMetaObject::invokeMethod(this, &DeviceTestRunner::deliver, Qt::QueuedConnection);
    }
}

void DeviceTestRunner::deliver() {
    // Reached again from the event loop of a message box that a step has opened: the run under way goes
    // on with the queue once the box is closed.
    steps_.run();
}

void DeviceTestRunner::show(const Item& item) {
    if (!item) {
        // The worker has posted its last item and is returning.
        if (worker_.joinable()) {
            worker_.join();
        }
        running_ = false;
        emit finished();
        return;
    }
    QString text = from_gbk(item->text);
    if (item->kind == DeviceTestStep::Kind::Message) {
        emit message(text);
    } else {
        emit buttonCaption(text);
    }
}
