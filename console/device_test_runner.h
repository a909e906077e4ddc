#pragma once

#include "console/step_queue.h"
#include "modem/device_test.h"

#include <QObject>
#include <QString>

#include <optional>
#include <thread>
#include <utility>

// Runs the device test on a worker thread, so the window stays responsive through its five seconds
// and more of waiting, and hands each step to the GUI thread in order. A step whose slot opens a modal
// message box holds back the steps after it until the box is closed, so the operator sees the raw
// reply before the verdict and the button caption after both, as when the test ran in the GUI thread.
class DeviceTestRunner : public QObject {
    Q_OBJECT

public:
    DeviceTestRunner(DeviceTestWait wait, PortOpener open, QObject* parent = nullptr);
    ~DeviceTestRunner() override;

    // Puts other waits in place for the tests to come; only while no test runs.
    void setWait(DeviceTestWait wait) { wait_ = std::move(wait); }

    // From the start of a test until `finished` has been emitted.
    bool running() const { return running_; }
    // Starts a test unless one is running.
    void start(bool start_button_enabled);
    // Ends a running test and waits for the worker, which a wait under way does not hold up: it ends at
    // once. Steps not shown yet are dropped and `finished` is not emitted.
    void stop();

signals:
    void message(const QString& text);
    void buttonCaption(const QString& text);
    // The worker has ended and every step has been shown.
    void finished();

private:
    // A step, or nullopt for the end of the worker.
    using Item = std::optional<DeviceTestStep>;

    void post(Item item);
    void deliver();
    void show(const Item& item);

    DeviceTestWait wait_;
    PortOpener open_;
    std::thread worker_;
    StopSignal stop_;

    StepQueue steps_;
    bool running_ = false; // GUI thread only
};
