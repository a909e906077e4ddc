#pragma once

#include "console/main_window.h"
#include "console/support/recording_engine.h"
#include "support/virtual_clock.h"

#include <QString>

#include <memory>

// The main window in the current working directory, with a recording engine and a virtual clock in
// place of the engine thread and the real time. Its one-second timer is stopped: tests tick by hand.
struct ConsoleWindow {
    explicit ConsoleWindow(LocalTime start = {2004, 5, 6, 7, 0, 0});

    VirtualClock clock;
    RecordingEngine* engine = nullptr;
    // What the window asked of its engine, to the end.
    std::shared_ptr<EngineCalls> calls;
    std::unique_ptr<TForm1> form;

    // The monitor box's text with CR LF line breaks, as the window holds it.
    QString monitorText() const;
};
