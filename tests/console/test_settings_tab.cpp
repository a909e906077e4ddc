// The settings tab: its start values, saving and reloading the port settings, the modem's settings
// (PIN, SMSC, INIT, COUNTRY) checked before anything is saved, the save that comes with the device-test
// button's focus, and the window held still while the device test runs.
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

#include <sys/stat.h>

namespace {

const QString missing_device = QStringLiteral("/nonexistent/ttyVMSMS1");
const QString no_port = QStringLiteral("!无此COM口,或COM口已被占用。");
const QString port_in_use = QStringLiteral("COM口已被占用,请停止收发进程！");

QString saved(const char* key) {
    return QString::fromStdString(read_setting(key, "<absent>", 100));
}

// A server.txt of the field: CRLF lines, a GBK value, a second section, a blank line between them.
const std::string field_file = "[SET]\r\nCOM=/dev/ttyUSB2\r\nRATE=115200\r\nSMSCODE=8613800200500\r\n"
                               "TIME1=7:01\r\nTIME2=21:00\r\nNOTE=\xd6\xd0\xce\xc4\r\n\r\n[DB]\r\nGATEWAY=office-1\r\n";

mode_t file_mode(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0 ? st.st_mode & 0777 : 0;
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
            QStringList({QStringLiteral(
                "无法写入 server.txt，这些设置没有保存：COM, RATE, SMSCODE, TIME1, TIME2, PIN, SMSC, INIT, COUNTRY")}));
    }

    void modem_settings_load_into_their_boxes() {
        {
            LoneTab t;
            t.tab.loadSettings(); // no file: every box empty, the engine's defaults hold
            for (QLineEdit* box : {t.tab.Edit11, t.tab.Edit12, t.tab.Edit13, t.tab.Edit14}) {
                QVERIFY2(box->text().isEmpty(), qPrintable(box->objectName()));
            }
            QCOMPARE(t.tab.Edit14->placeholderText(), QStringLiteral("86"));
        }
        put_file("server.txt", "[SET]\r\nPIN=4321\r\nSMSC=+447700900123\r\nINIT=AT+CMEE=1|AT+CSCS=\"GSM\"\r\n"
                               "COUNTRY=44\r\n");
        LoneTab t;
        t.tab.loadSettings();
        QCOMPARE(t.tab.Edit11->text(), QStringLiteral("4321"));
        QCOMPARE(t.tab.Edit12->text(), QStringLiteral("+447700900123"));
        QCOMPARE(t.tab.Edit13->text(), QStringLiteral("AT+CMEE=1|AT+CSCS=\"GSM\""));
        QCOMPARE(t.tab.Edit14->text(), QStringLiteral("44"));
    }

    // The PIN is never shown in clear; each box is named after its label for screen readers and the
    // keyboard goes through them after the centre number, then to the confirm button.
    void modem_boxes_are_masked_named_and_in_tab_order() {
        LoneTab t;
        SettingsTab& s = t.tab;
        QCOMPARE(s.Edit11->echoMode(), QLineEdit::Password);
        s.Edit11->setText(QStringLiteral("1234"));
        QVERIFY(!s.Edit11->displayText().contains(QStringLiteral("1234")));
        const std::pair<QLineEdit*, QString> named[] = {{s.Edit11, QStringLiteral("SIM卡PIN码 ：")},
                                                        {s.Edit12, QStringLiteral("短信中心号码(国际) ：")},
                                                        {s.Edit13, QStringLiteral("初始化命令 ：")},
                                                        {s.Edit14, QStringLiteral("国家代码 ：")}};
        for (const auto& [box, name] : named) {
            QCOMPARE(box->accessibleName(), name);
            QCOMPARE(box->accessibleDescription(), box->objectName());
        }
        s.show();
        QVERIFY(QTest::qWaitForWindowActive(&s));
        s.Edit3->setFocus();
        for (QWidget* next : std::initializer_list<QWidget*>{s.Edit11, s.Edit12, s.Edit13, s.Edit14, s.Button1}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    // Valid values go in beside the other keys, blanks around them dropped; every other line of the
    // file stays as it was, byte for byte.
    void valid_modem_settings_are_saved() {
        put_file("server.txt", field_file);
        LoneTab t;
        t.tab.loadSettings();
        t.tab.Edit11->setText(QStringLiteral(" 12345678 "));
        t.tab.Edit12->setText(QStringLiteral("+8613800000500"));
        t.tab.Edit13->setText(QStringLiteral("AT+CMEE=1|AT+CSCS=\"GSM\""));
        t.tab.Edit14->setText(QStringLiteral("852"));
        CapturedMessages messages;
        t.tab.Button1->click();
        QVERIFY(messages.texts.isEmpty());
        const std::string with_modem = "[SET]\r\nCOM=/dev/ttyUSB2\r\nRATE=115200\r\nSMSCODE=8613800200500\r\n"
                                       "TIME1=7:01\r\nTIME2=21:00\r\nNOTE=\xd6\xd0\xce\xc4\r\nPIN=12345678\r\n"
                                       "SMSC=+8613800000500\r\nINIT=AT+CMEE=1|AT+CSCS=\"GSM\"\r\nCOUNTRY=852\r\n"
                                       "\r\n[DB]\r\nGATEWAY=office-1\r\n";
        QCOMPARE(file_bytes("server.txt"), with_modem);
    }

    // Any value the engine would refuse is named, and nothing at all is saved: not even the port.
    void invalid_modem_settings_save_nothing_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("problem");
        const QString pin = QStringLiteral("SIM卡PIN码应为4到8位数字");
        const QString smsc = QStringLiteral("短信中心号码应为国际格式：+号和最多15位数字，例如 +8613800000500");
        const QString country = QStringLiteral("国家代码应为1到3位数字，例如 86");
        QTest::newRow("PIN of 3 digits") << "Edit11"
                                         << "987" << pin;
        QTest::newRow("PIN of 9 digits") << "Edit11"
                                         << "987654321" << pin;
        QTest::newRow("PIN with a letter") << "Edit11"
                                           << "98a7" << pin;
        QTest::newRow("PIN with a blank inside") << "Edit11"
                                                 << "98 76" << pin;
        QTest::newRow("SMSC without +") << "Edit12"
                                        << "8613800000500" << smsc;
        QTest::newRow("SMSC of 16 digits") << "Edit12"
                                           << "+8613800000500123" << smsc;
        QTest::newRow("SMSC with a dash") << "Edit12"
                                          << "+86-13800000500" << smsc;
        QTest::newRow("SMSC of a + alone") << "Edit12"
                                           << "+" << smsc;
        QTest::newRow("INIT without AT")
            << "Edit13"
            << "CMEE=1"
            << QStringLiteral("初始化命令（INIT）无效：INIT: \"CMEE=1\" is no AT command (printable, starting with AT, "
                              "at most 200 characters)");
        QTest::newRow("INIT ending in a bar")
            << "Edit13"
            << "AT+CMEE=1|"
            << QStringLiteral("初始化命令（INIT）无效：INIT: \"\" is no AT command (printable, starting with AT, at "
                              "most 200 characters)");
        QTest::newRow("INIT with Ctrl-Z")
            << "Edit13"
            << "AT+CMGS=1\x1a"
            << QStringLiteral("初始化命令（INIT）无效：INIT: \"AT+CMGS=1\x1a\" is no AT command (printable, starting "
                              "with AT, at most 200 characters)");
        QTest::newRow("INIT with Chinese")
            << "Edit13" << QStringLiteral("AT+CSCS=\"中\"")
            << QStringLiteral("初始化命令（INIT）无效：INIT: \"AT+CSCS=\"中\"\" is no AT command (printable, "
                              "starting with AT, at most 200 characters)");
        QTest::newRow("INIT with a character GBK lacks")
            << "Edit13" << QStringLiteral("AT😀") << QStringLiteral("初始化命令（INIT）无效：只能用英文字符");
        // Valid commands, but more than the engine reads back whole.
        QString long_init = QStringLiteral("AT+CMEE=1");
        while (long_init.size() < 1024) {
            long_init += QStringLiteral("|AT+CMEE=1");
        }
        QTest::newRow("INIT too long") << "Edit13" << long_init
                                       << QStringLiteral("初始化命令（INIT）太长：最多1023个字符");
        QTest::newRow("COUNTRY of 4 digits") << "Edit14"
                                             << "8601" << country;
        QTest::newRow("COUNTRY with +") << "Edit14"
                                        << "+86" << country;
        QTest::newRow("COUNTRY with a letter") << "Edit14"
                                               << "8a" << country;
    }

    void invalid_modem_settings_save_nothing() {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, problem);
        put_file("server.txt", field_file);
        const std::string before = file_bytes("server.txt");
        LoneTab t;
        t.tab.loadSettings();
        t.tab.Edit1->setText(QStringLiteral("/dev/ttyUSB9"));
        t.tab.Edit11->setText(QStringLiteral("1234"));
        t.tab.Edit12->setText(QStringLiteral("+8613800000500"));
        t.tab.Edit13->setText(QStringLiteral("ATE0"));
        t.tab.Edit14->setText(QStringLiteral("86"));
        t.tab.findChild<QLineEdit*>(box)->setText(typed);
        CapturedMessages messages;
        t.tab.Button1->click();
        QCOMPARE(messages.texts, QStringList({QStringLiteral("设置有误，所有设置都没有保存：\n") + problem}));
        QCOMPARE(file_bytes("server.txt"), before);
        if (box == "Edit11") {
            QVERIFY(!messages.texts.front().contains(typed)); // the PIN typed is never repeated
        }
    }

    // Every value the engine would refuse is named in the one message.
    void all_invalid_modem_settings_are_named_together() {
        LoneTab t;
        t.tab.Edit11->setText(QStringLiteral("12"));
        t.tab.Edit14->setText(QStringLiteral("0086"));
        CapturedMessages messages;
        t.tab.Button1->click();
        QCOMPARE(messages.texts,
                 QStringList({QStringLiteral("设置有误，所有设置都没有保存：\nSIM卡PIN码应为4到8位数字\n"
                                             "国家代码应为1到3位数字，例如 86")}));
        QVERIFY(file_bytes("server.txt").empty());
    }

    // An emptied box removes its key, so the engine's default holds again: no PIN, the SIM's own
    // centre, no extra commands, country 86.
    void emptied_modem_boxes_remove_their_keys() {
        put_file("server.txt", "[SET]\r\nPIN=1234\r\nSMSC=+8613800000500\r\nINIT=ATE0\r\nCOUNTRY=44\r\n");
        LoneTab t;
        t.tab.loadSettings();
        t.tab.Edit11->clear();
        t.tab.Edit12->setText(QStringLiteral("   "));
        t.tab.Edit13->clear();
        t.tab.Edit14->clear();
        CapturedMessages messages;
        t.tab.Button1->click();
        QVERIFY(messages.texts.isEmpty());
        for (const char* key : {"PIN", "SMSC", "INIT", "COUNTRY"}) {
            QVERIFY2(!ini_has_key(settings_file, "SET", key), key);
        }
        QCOMPARE(read_setting(settings::country), std::string("86"));
    }

    // A file that gets a PIN becomes readable by its owner alone, and stays so when the PIN goes; a
    // save without one leaves the file's access as it was.
    void a_pin_makes_the_settings_file_private() {
        put_file("server.txt", field_file);
        QVERIFY(chmod("server.txt", 0644) == 0);
        LoneTab t;
        t.tab.loadSettings();
        t.tab.Edit14->setText(QStringLiteral("44"));
        t.tab.Button1->click();
        QCOMPARE(file_mode("server.txt"), mode_t(0644));
        t.tab.Edit11->setText(QStringLiteral("2468"));
        t.tab.Button1->click();
        QCOMPARE(file_mode("server.txt"), mode_t(0600));
        QCOMPARE(saved("PIN"), QStringLiteral("2468"));
        t.tab.Edit11->clear();
        t.tab.Button1->click();
        QCOMPARE(file_mode("server.txt"), mode_t(0600));
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
