#pragma once

#include <deque>
#include <functional>
#include <mutex>

// Steps written on any thread and run on the GUI thread one by one, in the order they were written.
// The owner asks its event loop for a run when push() says none is pending, or runs the queue at once
// when it is on the GUI thread itself.
class StepQueue {
public:
    using Step = std::function<void()>;

    // Any thread. True when no run is pending yet, so the owner must ask for one.
    bool push(Step step);
    // GUI thread. A step that writes again, or opens a message box whose event loop asks for another
    // run, comes back here; that inner call returns at once and the outer run goes on with the queue
    // once the step is done, so no step overtakes another.
    void run();
    // Drops the steps not run yet.
    void clear();

private:
    std::mutex mutex_;
    std::deque<Step> steps_;
    bool run_pending_ = false;
    bool running_ = false; // GUI thread only
};
