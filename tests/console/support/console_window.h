#pragma once

#include "console/main_window.h"
#include "console/support/recording_engine.h"
#include "support/virtual_clock.h"

#include <QString>

#include <memory>

// Whether the operator has saved a port before the window starts.
enum class SavedPort {
    Com1, // COM=COM1 unless server.txt already names a port: the process can be started
    None, // server.txt is left as it is
};

// The main window in the current working directory, with a recording engine and a virtual clock in
// place of the engine thread and the real time. Its one-second timer is stopped: tests tick by hand.
struct ConsoleWindow {
    explicit ConsoleWindow(LocalTime start = {2004, 5, 6, 7, 0, 0}, SavedPort port = SavedPort::Com1);

    VirtualClock clock;
    RecordingEngine* engine = nullptr;
    // What the window asked of its engine, to the end.
    std::shared_ptr<EngineCalls> calls;
    std::unique_ptr<TForm1> form;

    // The monitor box's text with CR LF line breaks, as the window holds it.
    QString monitorText() const;
};
