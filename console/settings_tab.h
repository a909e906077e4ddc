#pragma once

#include "console/device_test_runner.h"
#include "console/field_settings.h"
#include "engine/engine_options.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <atomic>
#include <utility>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

// The settings tab "系统设置": port, line speed, centre number, the modem's settings (SIM PIN, service
// centre in international form, start-up commands, country code), device type, the schedule's times and
// the run-time options, with the device test. Port, speed, centre number, the modem's settings and times
// are saved by the confirm button; the device type and the responsive mode are saved the moment they are chosen; the
// other options are never saved. Every option goes into the live engine options on every change.
class SettingsTab : public QWidget {
    Q_OBJECT

public:
    SettingsTab(EngineOptions& options, Clock& clock, PortOpener open, QWidget* parent = nullptr);

    // The start button of the window: the device test's message for a port it cannot open depends on
    // whether the send/receive process is running.
    void setStartButton(const QWidget* start_button) { start_button_ = start_button; }

    // Window construction: COM, RATE, SMSCODE, PIN, SMSC, INIT, COUNTRY, TIME1 and TIME2 into their
    // boxes, RESPONSIVE into its check box.
    void loadSettings();
    // Window construction: MTYPE picks the device type; a choice that changes the selection writes
    // MTYPE back, as a click would.
    void selectDeviceType();

    // Saves the boxes: the port's and the schedule's as typed, the modem's once all four are valid; a
    // value the engine would refuse is reported and nothing is saved.
    void Button1Click();
    // Reloads the port, speed and centre number from server.txt, dropping what was typed.
    void SheZhi_enter();
    // Runs the device test unless one is running.
    void Button2Click();
    bool deviceTestRunning() const { return runner_.running(); }
    // Ends a running device test and waits for it (the window is closing); a wait of the test under way
    // ends at once.
    void stopDeviceTest() { runner_.stop(); }
    // The device test waits on the clock given at construction unless other waits are put in here, while
    // no test runs.
    void setDeviceTestWait(DeviceTestWait wait) { runner_.setWait(std::move(wait)); }

    QLabel* Label18 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label19 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLabel* Label20 = nullptr;
    QLineEdit* Edit3 = nullptr;
    // The modem's settings: PIN (masked, never shown in clear), SMSC, INIT and COUNTRY.
    QLabel* Label31 = nullptr;
    QLineEdit* Edit11 = nullptr;
    QLabel* Label32 = nullptr;
    QLineEdit* Edit12 = nullptr;
    QLabel* Label33 = nullptr;
    QLineEdit* Edit13 = nullptr;
    QLabel* Label34 = nullptr;
    QLineEdit* Edit14 = nullptr;
    QPushButton* Button1 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QRadioButton* RadioButton5 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox5 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QCheckBox* CheckBox7 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QLabel* Label26 = nullptr;
    QLineEdit* Edit9 = nullptr;
    QLabel* Label28 = nullptr;
    QLineEdit* Edit10 = nullptr;
    QCheckBox* CheckBox6 = nullptr;
    // Responsive sending and receiving, long messages, delivery reports: unlike the other options they
    // are kept in server.txt.
    QCheckBox* CheckBox8 = nullptr;
    QCheckBox* CheckBox9 = nullptr;
    QCheckBox* CheckBox10 = nullptr;

signals:
    // The long-message option was switched (the compose tab's limits follow it).
    void longMessagesChanged();
    // The delivery-report option was switched (the sent list's delivery column follows it).
    void deliveryReportsChanged(bool on);

public:
    QLabel* Label29 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QLabel* Label30 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label24 = nullptr;
    QLabel* Label25 = nullptr;
    QLabel* Label23 = nullptr;
    QPushButton* Button2 = nullptr;

signals:
    void deviceTestStarted();
    void deviceTestFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPortBoxes();
    void buildModemBoxes();
    void buildDeviceTypes();
    void buildOptions();
    void buildSchedule();
    void buildSpeed();
    void buildHelp();
    void arrange();
    void orderTabs();
    void FormCreate();
    void connectOptions();
    void chooseDevice(DeviceType type, bool checked);
    // The options kept in server.txt: their check box, engine option and key.
    struct KeptOption {
        QCheckBox* box;
        std::atomic<bool>& option;
        const Setting& setting;
    };
    std::array<KeptOption, 3> keptOptions();
    // A kept option was switched: it goes into the engine options and into server.txt at once.
    void chooseKeptOption(std::atomic<bool>& option, const Setting& setting, bool on);
    void showTestMessage(const QString& text);
    void showFieldSettings();
    FieldSettings typedFieldSettings() const;
    // Saves the port's, the schedule's and the modem's boxes; the keys that could not be written.
    QStringList saveBoxes();

    EngineOptions& options_;
    DeviceTestRunner runner_;
    const QWidget* start_button_ = nullptr;
    QButtonGroup* device_types_ = nullptr;
};
