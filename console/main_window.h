#pragma once

#include "console/console_state.h"
#include "console/engine_control.h"
#include "console/monitor_model.h"
#include "directory/category_record.h"
#include "engine/engine_options.h"
#include "engine/myterad.h"

#include <QWidget>

#include <array>
#include <memory>
#include <optional>

class AddressBook;
class CatalogueTab;
class ComposeTab;
class CustomerTab;
class TForm3;
struct Launcher;
class MonitorTab;
class OptOutTab;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTimer;
class SentTab;
class SettingsTab;

// The main window `Form1`: nine tabs over a row of buttons that start and stop the send/receive
// process and the companion programs. It owns the process: it creates the engine paused, starts and
// stops it by hand and on schedule, and ends it when it closes. Window and engine meet in the monitor
// model (caption and monitor text) and the live engine options; nothing else is shared.
class TForm1 : public QWidget {
    Q_OBJECT

public:
    // `clock` drives the schedule and the device test's waits; `make_engine` creates the engine thread;
    // `open_port` opens the device test's port (the serial device when empty).
    TForm1(Clock& clock, const EngineFactory& make_engine, PortOpener open_port = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    MonitorModel& monitor() { return monitor_; }
    ConsoleState& state() { return state_; }
    EngineOptions& engineOptions() { return options_; }
    // How long the status line keeps its word after a message was queued (10 s; tests shorten it).
    int queuedMessageTime() const { return queued_message_ms_; }
    void setQueuedMessageTime(int ms) { queued_message_ms_ = ms; }

    // Start (`BitBtn3`) and stop (`BitBtn5`) the send/receive process. Neither the button nor the
    // schedule starts the engine while server.txt names no port (COM missing or empty): the button
    // says so in a message box, the schedule once per start minute on the monitor.
    void BitBtn3Click();
    void ddd();
    // The schedule check, once a second.
    void Timer1Timer();
    // Pauses the engine, ends it at its next safe point (closing the port and the logs) and waits for
    // it and for a running device test. Closing the window does this; it is safe to call again.
    void FormClose();

    QTabWidget* PageControl1 = nullptr;
    ComposeTab* composeTab = nullptr;
    SentTab* sentTab = nullptr;
    // The bottom line: a word after queueing, which clears itself.
    QStatusBar* StatusBar1 = nullptr;
    AddressBook* addressBook = nullptr;
    CatalogueTab* catalogueTab = nullptr;
    CustomerTab* customerTab = nullptr;
    OptOutTab* optOutTab = nullptr;
    // The customers tab's delete dialog, modeless.
    TForm3* Form3 = nullptr;
    SettingsTab* settingsTab = nullptr;
    MonitorTab* monitorTab = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QPushButton* BitBtn5 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button8 = nullptr;
    QPushButton* Button10 = nullptr;
    QPushButton* Button13 = nullptr;
    QPushButton* Button9 = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int queued_message_ms_ = 10000;

    void buildTabs(PortOpener open_port);
    void addPage(QWidget* page, const char* name, const QString& caption);
    void buildButtons();
    QPushButton* launcherButton(const Launcher& launcher);
    void arrange();
    void holdStartDuringDeviceTest();
    void releaseStartAfterDeviceTest();
    void scheduledStart(const LocalTime& now);
    void scheduledStop();

    Clock& clock_;
    ConsoleState state_;
    // The category chosen on the customers tab or in the address book, shared by both.
    CategoryRecord category_record_;
    EngineOptions options_;
    MonitorModel monitor_;
    std::unique_ptr<EngineControl> engine_;
    bool start_enabled_before_test_ = true;
    // The start minute (year, month, day, hour, minute) whose scheduled start last found no port saved.
    using StartMinute = std::array<int, 5>;
    std::optional<StartMinute> port_missing_reported_;
};
