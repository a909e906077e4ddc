// The settings tab: its start values, saving and reloading the port settings, the save that comes
// with the device-test button's focus, and the window held still while the device test runs.
#include "console/main_window.h"
#include "console/settings_tab.h"
#include "console/support/captured_messages.h"
#include "console/support/console_window.h"
#include "console/support/work_dir_test_case.h"
#include "modem/serial_link.h"
#include "platform/ini_file.h"
#include "store/settings.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>

namespace {

const QString missing_device = QStringLiteral("/nonexistent/ttyVMSMS1");
const QString no_port = QStringLiteral("!无此COM口,或COM口已被占用。");
const QString port_in_use = QStringLiteral("COM口已被占用,请停止收发进程！");

QString saved(const char* key) {
    return QString::fromStdString(read_setting(key, "<absent>", 100));
}

struct LoneTab {
    VirtualClock clock;
    EngineOptions options;
    SettingsTab tab{options, clock, port_open};
};

} // namespace

class SettingsTabTest : public WorkDirTestCase {
    Q_OBJECT

private slots:
    void start_values_before_the_settings_file() {
        LoneTab t;
        SettingsTab& s = t.tab;
        QCOMPARE(s.Edit1->text(), QStringLiteral("COM1"));
        QCOMPARE(s.Edit2->text(), QStringLiteral("19200"));
        QCOMPARE(s.Edit3->text(), QString());
        QCOMPARE(s.Edit9->text(), QStringLiteral("8:01"));
        QCOMPARE(s.Edit10->text(), QStringLiteral("21:00"));
        QVERIFY(s.RadioButton5->isChecked());
        for (QCheckBox* box : {s.CheckBox1, s.CheckBox2, s.CheckBox4, s.CheckBox5, s.CheckBox6, s.CheckBox7,
                               s.CheckBox8, s.CheckBox9, s.CheckBox10}) {
            QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
        }
        QCOMPARE(s.TrackBar1->minimum(), 0);
        QCOMPARE(s.TrackBar1->maximum(), 10);
        QCOMPARE(s.TrackBar1->value(), 5);
        QCOMPARE(t.options.speed.load(), 5);
        QCOMPARE(t.options.device.load(), DeviceType::Other);
        QVERIFY(file_bytes("server.txt").empty()); // building the tab writes nothing
        QCOMPARE(s.Label25->text(), QStringLiteral("8.等待弹出'设备正常，设备参数保存正确，可以正常工作!'的对话框."
                                                   "                    \n"));
        QVERIFY(s.Label24->text().startsWith(QStringLiteral("    初次使用时的步骤(不要启动任何进程）:\n\n1.")));
        QVERIFY(
            s.Label24->text().endsWith(QStringLiteral("6. 点击 确定!选择设备类型。\n7. 点击 设备测试并保存参数。\n")));
    }

    void confirm_saves_the_boxes_as_typed() {
        LoneTab t;
        SettingsTab& s = t.tab;
        s.Edit1->setText(QString()); // an empty box saves an empty value, not the default
        s.Edit2->setText(QStringLiteral("9600"));
        s.Edit3->setText(QStringLiteral("8613800200500"));
        s.Edit9->setText(QStringLiteral(" 7:30"));
        s.Edit10->setText(QStringLiteral("22:00"));
        s.Button1->click();
        QVERIFY(ini_has_key(settings_file, "SET", "COM"));
        QCOMPARE(saved("COM"), QString());
        QCOMPARE(saved("RATE"), QStringLiteral("9600"));
        QCOMPARE(saved("SMSCODE"), QStringLiteral("8613800200500"));
        QCOMPARE(saved("TIME2"), QStringLiteral("22:00"));
        // Blanks around a value do not survive the INI file; the schedule reads the box, not the file.
        QCOMPARE(saved("TIME1"), QStringLiteral("7:30"));
        QCOMPARE(saved("MTYPE"), QStringLiteral("<absent>"));
    }

    // A port given as a long device path comes back whole from every save and every read: the box at
    // start-up and on reload, and the confirm button saving what the box shows.
    void a_255_byte_device_path_survives_saving_and_reading() {
        const std::string prefix = "/dev/serial/by-id/usb-Velmora_GSM_Modem_";
        const std::string path = prefix + std::string(255 - prefix.size() - 8, 'x') + "-if00-p0";
        QCOMPARE(path.size(), std::size_t(255));
        const QString typed = QString::fromStdString(path);
        {
            LoneTab t;
            t.tab.Edit1->setText(typed);
            t.tab.Button1->click();
            QCOMPARE(read_setting("COM", "", 1024), path);
            t.tab.Edit1->setText(QStringLiteral("COM2"));
            QTest::mouseClick(t.tab.Label18, Qt::LeftButton);
            QCOMPARE(t.tab.Edit1->text(), typed);
        }
        // The next program start shows it, and saving again without touching it keeps it.
        LoneTab t;
        t.tab.loadSettings();
        QCOMPARE(t.tab.Edit1->text(), typed);
        t.tab.Button1->click();
        QCOMPARE(read_setting("COM", "", 1024), path);
    }

    // The responsive mode, long messages and delivery reports are kept in server.txt the moment they are
    // chosen, and the next start shows them (and hands them to the engine) without writing them back.
    void kept_options_survive_a_restart_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("key");
        QTest::newRow("responsive") << "CheckBox8" << QStringLiteral("快速收发（按模块应答收发）") << "RESPONSIVE";
        QTest::newRow("long messages") << "CheckBox9" << QStringLiteral("长短信") << "LONGSMS";
        QTest::newRow("delivery reports") << "CheckBox10" << QStringLiteral("状态报告") << "REPORTS";
    }

    void kept_options_survive_a_restart() {
        QFETCH(QString, box);
        QFETCH(QString, caption);
        QFETCH(QString, key);
        auto option = [&](EngineOptions& o) -> std::atomic<bool>& {
            return key == "RESPONSIVE" ? o.responsive : key == "LONGSMS" ? o.long_messages : o.delivery_reports;
        };
        const std::string key_text = key.toStdString();
        {
            LoneTab t;
            auto* check = t.tab.findChild<QCheckBox*>(box);
            QCOMPARE(check->text(), caption);
            QVERIFY(!check->isChecked());
            check->click();
            QVERIFY(option(t.options).load());
            QCOMPARE(saved(key_text.c_str()), QStringLiteral("1"));
        }
        {
            LoneTab t;
            t.tab.loadSettings();
            auto* check = t.tab.findChild<QCheckBox*>(box);
            QVERIFY(check->isChecked());
            QVERIFY(option(t.options).load());
            check->click();
            QVERIFY(!option(t.options).load());
            QCOMPARE(saved(key_text.c_str()), QStringLiteral("0"));
        }
        LoneTab t;
        put_file("server.txt", "[SET]\r\n" + key_text + "=1\r\n");
        const std::string before = file_bytes("server.txt");
        t.tab.loadSettings();
        QVERIFY(option(t.options).load());
        QCOMPARE(file_bytes("server.txt"), before);
    }

    void kept_option_that_cannot_be_saved_is_reported() {
        QVERIFY(QDir().mkdir(QStringLiteral("server.txt")));
        CapturedMessages messages;
        LoneTab t;
        t.tab.CheckBox9->click();
        QVERIFY(t.options.long_messages.load()); // it still holds for this run
        QCOMPARE(messages.texts, QStringList({QStringLiteral("无法写入 server.txt，这些设置没有保存：LONGSMS")}));
    }

    // A save that cannot reach server.txt says which settings it lost.
    void a_failed_save_is_reported() {
        QVERIFY(QDir().mkdir(QStringLiteral("server.txt"))); // in the way of the file, even for root
        CapturedMessages messages;
        LoneTab t;
        t.tab.Button1->click();
        QCOMPARE(
            messages.texts,
            QStringList({QStringLiteral("无法写入 server.txt，这些设置没有保存：COM, RATE, SMSCODE, TIME1, TIME2")}));
    }

    void port_label_or_box_reloads_what_was_saved_data() {
        QTest::addColumn<QString>("clicked");
        QTest::newRow("port label") << "Label18";
        QTest::newRow("port box") << "Edit1";
    }
    void port_label_or_box_reloads_what_was_saved() {
        QFETCH(QString, clicked);
        QVERIFY(write_setting("COM", "COM7"));
        QVERIFY(write_setting("RATE", "38400"));
        LoneTab t;
        SettingsTab& s = t.tab;
        s.Edit1->setText(QStringLiteral("ttyUSB3"));
        s.Edit2->setText(QStringLiteral("115200"));
        s.Edit3->setText(QStringLiteral("123"));
        s.Edit9->setText(QStringLiteral("6:00"));
        QTest::mouseClick(s.findChild<QWidget*>(clicked), Qt::LeftButton);
        QCOMPARE(s.Edit1->text(), QStringLiteral("COM7"));
        QCOMPARE(s.Edit2->text(), QStringLiteral("38400"));
        QCOMPARE(s.Edit3->text(), QStringLiteral("88888888")); // absent: the tab's default
        QCOMPARE(s.Edit9->text(), QStringLiteral("6:00"));     // only the port settings come back
    }

    // Pressing the device-test button while another control has the focus saves first, even when the
    // test then fails.
    void device_test_button_saves_when_it_takes_the_focus() {
        CapturedMessages messages;
        LoneTab t;
        SettingsTab& s = t.tab;
        s.show();
        QVERIFY(QTest::qWaitForWindowActive(&s));
        s.Edit2->setFocus();
        s.Edit1->setText(missing_device);
        s.Edit2->setText(QStringLiteral("4800"));
        s.Edit3->setText(QStringLiteral("8613900000000"));
        s.Edit9->setText(QStringLiteral("6:45"));
        s.Edit10->setText(QStringLiteral("23:00"));
        QSignalSpy finished(&s, &SettingsTab::deviceTestFinished);
        QTest::mouseClick(s.Button2, Qt::LeftButton);
        QCOMPARE(saved("COM"), missing_device);
        QCOMPARE(saved("RATE"), QStringLiteral("4800"));
        QCOMPARE(saved("SMSCODE"), QStringLiteral("8613900000000"));
        QCOMPARE(saved("TIME1"), QStringLiteral("6:45"));
        QCOMPARE(saved("TIME2"), QStringLiteral("23:00"));
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(messages.texts, QStringList({no_port}));
    }

    // While the test holds the port, neither the start button nor the schedule may start the engine,
    // which would find the port taken and give up for good.
    void device_test_holds_start_and_schedule() {
        QVERIFY(write_setting("COM", missing_device.toStdString()));
        CapturedMessages messages;
        ConsoleWindow w({2004, 5, 6, 7, 1, 0});
        TForm1& f = *w.form;
        f.settingsTab->CheckBox2->setChecked(true);
        f.settingsTab->Edit9->setText(QStringLiteral("7:01"));
        QSignalSpy finished(f.settingsTab, &SettingsTab::deviceTestFinished);

        f.settingsTab->Button2Click();
        QVERIFY(!f.BitBtn3->isEnabled());
        f.Timer1Timer();
        QVERIFY(w.calls->empty());

        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(f.BitBtn3->isEnabled());
        QCOMPARE(messages.texts, QStringList({no_port}));
        f.Timer1Timer();
        QCOMPARE(*w.calls, EngineCalls({"Resume"}));
    }

    // After a scheduled start the device-test button is still enabled; the test then reports the port
    // as held by the running process.
    void device_test_after_a_scheduled_start() {
        QVERIFY(write_setting("COM", missing_device.toStdString()));
        CapturedMessages messages;
        ConsoleWindow w({2004, 5, 6, 7, 1, 0});
        TForm1& f = *w.form;
        f.settingsTab->CheckBox2->setChecked(true);
        f.Timer1Timer();
        QVERIFY(f.settingsTab->Button2->isEnabled());
        QSignalSpy finished(f.settingsTab, &SettingsTab::deviceTestFinished);
        f.settingsTab->Button2Click();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(messages.texts, QStringList({port_in_use}));
        QVERIFY(!f.BitBtn3->isEnabled()); // still running
        QCOMPARE(*w.calls, EngineCalls({"Resume"}));
    }
};

QTEST_MAIN(SettingsTabTest)
#include "test_settings_tab.moc"
