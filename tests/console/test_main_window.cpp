// The main window: start-up from the settings file, the tabs and buttons, start, stop and close, and
// the monitor that the engine thread and the window write in one order.
#include "console/catalogue_tab.h"
#include "console/engine_control.h"
#include "console/main_window.h"
#include "console/monitor_guide.h"
#include "console/monitor_tab.h"
#include "console/optout_tab.h"
#include "console/qt_text.h"
#include "console/settings_tab.h"
#include "console/support/captured_messages.h"
#include "console/support/console_window.h"
#include "console/support/work_dir_test_case.h"
#include "platform/gbk.h"
#include "platform/ini_file.h"
#include "store/settings.h"
#include "support/temp_dir.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpontaneKeyEvent>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QtTest>

#include <thread>

namespace {

const QString started_caption = QStringLiteral("Velmora短信网关--企业短消息服务器  ：   收发进程已启动");
const QString not_started_caption = QStringLiteral("Velmora短信网关--企业短消息服务器  ：   收发进程未启动");
const QString stopped_caption = QStringLiteral("Velmora短信网关--企业短消息服务器  ：   收发进程已经停止！");
const QString started_text = QStringLiteral("-------------收发进程已经启动！");
const QString not_started_text = QStringLiteral("-------------收发进程未启动！");
const QString stopped_text = QStringLiteral("-------------收发进程已经停止！");
const QString port_missing =
    QStringLiteral("未设置通信端口（server.txt 中 [SET] 的 COM）。请先在“系统设置”页填写端口并按“确定”保存。");

using Calls = EngineCalls;

} // namespace

class MainWindowTest : public WorkDirTestCase {
    Q_OBJECT

private slots:
    void start_up_without_settings_file() {
        ConsoleWindow w({2004, 5, 6, 7, 0, 0}, SavedPort::None);
        SettingsTab* s = w.form->settingsTab;
        QCOMPARE(s->Edit1->text(), QStringLiteral("COM1"));
        QCOMPARE(s->Edit2->text(), QStringLiteral("19200"));
        QCOMPARE(s->Edit3->text(), QStringLiteral("88888888"));
        QCOMPARE(s->Edit9->text(), QStringLiteral("7:01"));
        QCOMPARE(s->Edit10->text(), QStringLiteral("21:00"));
        QVERIFY(s->RadioButton2->isChecked());
        QCOMPARE(w.form->engineOptions().device.load(), DeviceType::Wavecom);
        // The first start leaves the device type in the file, and nothing else.
        QCOMPARE(read_setting("MTYPE", "", 20), std::string("2"));
        for (const char* key : {"COM", "RATE", "SMSCODE", "TIME1", "TIME2"}) {
            QVERIFY2(!ini_has_key(settings_file, "SET", key), key);
        }
        // The engine is created paused and left alone.
        QVERIFY(w.engine != nullptr);
        QVERIFY(w.calls->empty());
        QVERIFY(w.engine->Suspended());
        QCOMPARE(w.monitorText(), from_gbk(monitor_guide()));
    }

    void settings_fill_the_boxes() {
        put_file("server.txt", gbk("[SET]\r\nCOM=ttyUSB0\r\nRATE=9600\r\nSMSCODE=8613800200500\r\n"
                                   "TIME1=8:30\r\nTIME2=22:15\r\nMTYPE=3\r\n"));
        ConsoleWindow w;
        SettingsTab* s = w.form->settingsTab;
        QCOMPARE(s->Edit1->text(), QStringLiteral("ttyUSB0"));
        QCOMPARE(s->Edit2->text(), QStringLiteral("9600"));
        QCOMPARE(s->Edit3->text(), QStringLiteral("8613800200500"));
        QCOMPARE(s->Edit9->text(), QStringLiteral("8:30"));
        QCOMPARE(s->Edit10->text(), QStringLiteral("22:15"));
    }

    void device_type_from_mtype_data() {
        QTest::addColumn<QString>("stored");    // MTYPE line, empty for none
        QTest::addColumn<QString>("checked");   // the radio button checked afterwards
        QTest::addColumn<QString>("afterward"); // MTYPE in the file afterwards
        QTest::addColumn<bool>("unchanged");    // the file's bytes untouched
        QTest::newRow("absent: Wavecom, 2 written") << QString() << "RadioButton2"
                                                    << "2" << false;
        QTest::newRow("1: Siemens, written back") << "01"
                                                  << "RadioButton1"
                                                  << "1" << false;
        QTest::newRow("2: Wavecom, written back") << " 2"
                                                  << "RadioButton2"
                                                  << "2" << false;
        QTest::newRow("3: the default choice, nothing written") << "3"
                                                                << "RadioButton5"
                                                                << "3" << true;
        QTest::newRow("7: the default choice, nothing written") << "7"
                                                                << "RadioButton5"
                                                                << "7" << true;
        QTest::newRow("no number: the default choice") << "abc"
                                                       << "RadioButton5"
                                                       << "abc" << true;
    }
    void device_type_from_mtype() {
        QFETCH(QString, stored);
        QFETCH(QString, checked);
        QFETCH(QString, afterward);
        QFETCH(bool, unchanged);
        std::string before = "[SET]\r\nCOM=COM2\r\n";
        if (!stored.isEmpty()) {
            before += "MTYPE=" + stored.toStdString() + "\r\n";
        }
        put_file("server.txt", before);
        ConsoleWindow w;
        auto* radio = w.form->findChild<QRadioButton*>(checked);
        QVERIFY(radio != nullptr);
        QVERIFY(radio->isChecked());
        QCOMPARE(QString::fromStdString(read_setting("MTYPE", "", 20)), afterward);
        QCOMPARE(read_setting("COM", "", 20), std::string("COM2"));
        if (unchanged) {
            QCOMPARE(file_bytes("server.txt"), before);
        }
    }

    void window_tabs_and_buttons() {
        ConsoleWindow w;
        TForm1& f = *w.form;
        // The original 757 x 495, and the status line below the buttons.
        QCOMPARE(f.size(), QSize(757, 517));
        QCOMPARE(f.PageControl1->count(), 9);
        const QStringList captions = {"新建sms",      "待发送sms", "已发送sms", "已接收sms", "点播信息维护",
                                      "客户信息维护", "退订名单",  "系统设置",  "信息监控"};
        for (int i = 0; i < captions.size(); ++i) {
            QCOMPARE(f.PageControl1->tabText(i), captions[i]);
        }
        QCOMPARE(f.PageControl1->currentWidget(), static_cast<QWidget*>(f.settingsTab));
        QCOMPARE(f.PageControl1->widget(6), static_cast<QWidget*>(f.optOutTab));
        QCOMPARE(f.PageControl1->widget(8), static_cast<QWidget*>(f.monitorTab));
        // Every caption shows whole, in front of the version button, with no scroll arrows.
        f.show();
        QTabBar* bar = f.PageControl1->tabBar();
        for (int i = 0; i < bar->count(); ++i) {
            QRect shown = bar->tabRect(i);
            QVERIFY2(shown.width() >= bar->fontMetrics().horizontalAdvance(captions[i]), qPrintable(captions[i]));
            QVERIFY2(bar->mapTo(&f, shown.topRight()).x() < f.Button9->mapTo(&f, QPoint(0, 0)).x(),
                     qPrintable(captions[i]));
        }

        const QList<std::pair<QString, QString>> buttons = {
            {"BitBtn3", "启动短消息收发进程"},        {"BitBtn5", "停止短消息收发进程"},
            {"Button7", "启动系统数据侦听服务进程 "}, {"Button10", "手机号码自动生成 "},
            {"Button13", "全国号码段整理"},           {"Button9", "*super power*vmSMSserver3.92"},
        };
        for (const auto& [name, caption] : buttons) {
            auto* button = f.findChild<QPushButton*>(name);
            QVERIFY2(button != nullptr, qPrintable(name));
            QCOMPARE(button->text(), caption);
            QCOMPARE(button->accessibleName(), caption.trimmed()); // the name leaves out padding blanks
            QCOMPARE(button->accessibleDescription(), name);
        }
        QVERIFY(f.BitBtn3->isEnabled());
        QVERIFY(!f.BitBtn5->isEnabled());
        QVERIFY(!f.Button9->isEnabled());
        QVERIFY(f.Button8->isEnabled());
        // A box is known by its label's text.
        QCOMPARE(f.settingsTab->Edit1->accessibleName(), QStringLiteral("串口  COM  ："));
        QCOMPARE(f.monitorTab->Memo7->accessibleDescription(), QStringLiteral("Memo7"));
    }

    // A greyed button says why in its tool tip, and an enabled one says nothing of the kind.
    void greyed_buttons_say_why() {
        ConsoleWindow w;
        TForm1& f = *w.form;
        QCOMPARE(f.BitBtn5->toolTip(), QStringLiteral("收发进程没有运行"));
        QCOMPARE(f.BitBtn3->toolTip(), QString());
        f.BitBtn3->click();
        QCOMPARE(f.BitBtn3->toolTip(), QStringLiteral("收发进程已在运行"));
        QCOMPARE(f.BitBtn5->toolTip(), QString());
        QVERIFY(f.settingsTab->Button2->toolTip().startsWith(QStringLiteral("收发进程启动后一直占用串口")));
        f.BitBtn5->click();
        QCOMPARE(f.BitBtn5->toolTip(), QStringLiteral("收发进程没有运行"));
        QCOMPARE(f.BitBtn3->toolTip(), QString());
    }

    void start_resumes_the_engine() {
        ConsoleWindow w;
        TForm1& f = *w.form;
        f.BitBtn3->click();
        QVERIFY(!f.BitBtn3->isEnabled());
        QVERIFY(f.BitBtn5->isEnabled());
        QVERIFY(!f.settingsTab->Button2->isEnabled());
        QCOMPARE(*w.calls, Calls({"Resume"}));
        QVERIFY(!w.engine->Suspended());
        QCOMPARE(w.monitorText(), started_text);
        QCOMPARE(f.windowTitle(), started_caption);
    }

    // Without a saved port the start button says what is missing and leaves everything as it was,
    // rather than let the engine open a default port nobody chose.
    void start_without_a_saved_port_data() {
        QTest::addColumn<QByteArray>("settings"); // server.txt, or empty for none
        QTest::newRow("no settings file") << QByteArray();
        QTest::newRow("no COM key") << QByteArray("[SET]\r\nRATE=9600\r\nMTYPE=2\r\n");
        QTest::newRow("COM empty") << QByteArray("[SET]\r\nCOM=\r\nMTYPE=2\r\n");
        QTest::newRow("COM blank") << QByteArray("[SET]\r\nCOM=   \r\nMTYPE=2\r\n");
        QTest::newRow("COM in another section") << QByteArray("[DB]\r\nCOM=COM1\r\n[SET]\r\nMTYPE=2\r\n");
    }
    void start_without_a_saved_port() {
        QFETCH(QByteArray, settings);
        if (!settings.isEmpty()) {
            put_file("server.txt", settings.toStdString());
        }
        CapturedMessages messages;
        ConsoleWindow w({2004, 5, 6, 7, 0, 0}, SavedPort::None);
        TForm1& f = *w.form;
        const QString title = f.windowTitle();
        f.BitBtn3->click();
        QCOMPARE(messages.texts, QStringList({port_missing}));
        QVERIFY(w.calls->empty());
        QVERIFY(w.engine->Suspended());
        QVERIFY(f.BitBtn3->isEnabled());
        QVERIFY(!f.BitBtn5->isEnabled());
        QVERIFY(f.settingsTab->Button2->isEnabled());
        QCOMPARE(f.windowTitle(), title);
        QCOMPARE(w.monitorText(), from_gbk(monitor_guide()));

        // Once the port is saved, the same button starts the process.
        f.settingsTab->Edit1->setText(QStringLiteral("ttyUSB0"));
        f.settingsTab->Button1->click();
        f.BitBtn3->click();
        QCOMPARE(*w.calls, Calls({"Resume"}));
        QCOMPARE(messages.texts.size(), 1);
    }

    void start_of_an_engine_that_cannot_run() {
        ConsoleWindow w;
        TForm1& f = *w.form;
        w.engine->finished = true; // its run ended at a port failure
        f.BitBtn3Click();
        QCOMPARE(w.monitorText(), not_started_text);
        QCOMPARE(f.windowTitle(), not_started_caption);
        // The buttons show the running state all the same, so the operator can stop and start again.
        QVERIFY(!f.BitBtn3->isEnabled());
        QVERIFY(f.BitBtn5->isEnabled());
    }

    void stop_then_start_again() {
        ConsoleWindow w;
        TForm1& f = *w.form;
        f.BitBtn3Click();
        f.BitBtn5->click();
        QVERIFY(f.BitBtn3->isEnabled());
        QVERIFY(!f.BitBtn5->isEnabled());
        QVERIFY(!f.settingsTab->Button2->isEnabled()); // only a new program start enables it again
        QCOMPARE(w.monitorText(), stopped_text);
        QCOMPARE(f.windowTitle(), stopped_caption);
        QVERIFY(w.engine->Suspended());

        f.BitBtn3Click();
        QCOMPARE(*w.calls, Calls({"Resume", "Suspend", "Resume"}));
        QVERIFY(!w.engine->Suspended());
        QCOMPARE(w.monitorText(), started_text);
        QCOMPARE(f.windowTitle(), started_caption);
    }

    // Screen readers announce the window by its accessible name: it follows every caption, the window's
    // own and those the engine sets from its thread.
    void accessible_name_follows_the_caption() {
        ConsoleWindow w;
        TForm1& f = *w.form;
        auto announced = [&f] {
            QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&f);
            return window != nullptr ? window->text(QAccessible::Name) : QString();
        };
        QCOMPARE(announced(), f.windowTitle());
        f.BitBtn3->click();
        QCOMPARE(announced(), started_caption);
        const std::string failure = gbk("Velmora短信网关--企业短消息服务器  ：   数据线没有准备好");
        std::thread engine([&] { f.monitor().set_caption(failure); });
        engine.join();
        QTRY_COMPARE(f.windowTitle(), from_gbk(failure));
        QCOMPARE(announced(), from_gbk(failure));
        QCOMPARE(f.accessibleName(), from_gbk(failure));
        f.BitBtn5->click();
        QCOMPARE(announced(), stopped_caption);
    }

    void close_pauses_then_ends_the_engine() {
        ConsoleWindow w;
        w.form->show();
        w.form->BitBtn3Click();
        QVERIFY(w.form->close());
        QCOMPARE(*w.calls, Calls({"Resume", "Suspend", "Shutdown", "deleted"}));
        // Closing again, or destroying the window, asks nothing more.
        w.form->FormClose();
        w.form.reset();
        QCOMPARE(w.calls->size(), std::size_t(4));
    }

    // A close from the window manager (the title bar's button) while the engine runs asks first; no keeps
    // the window and the engine as they are. A stopped engine, or a close the program asks for, asks
    // nothing.
    void close_by_hand_asks_while_running_data() {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("closed");
        QTest::newRow("running, no: stays open") << true << false << true << false;
        QTest::newRow("running, yes: closes") << true << true << true << true;
        QTest::newRow("stopped: closes unasked") << false << false << false << true;
    }
    void close_by_hand_asks_while_running() {
        QFETCH(bool, running);
        QFETCH(bool, answer);
        QFETCH(bool, asked);
        QFETCH(bool, closed);
        ConsoleWindow w;
        w.form->show();
        w.form->BitBtn3Click();
        if (!running) {
            w.form->ddd();
        }
        QStringList questions;
        const QuestionHook previous = setQuestionHook([&](QWidget*, const QString& text) {
            questions.append(text);
            return answer;
        });
        QCloseEvent by_hand;
        QSpontaneKeyEvent::setSpontaneous(&by_hand);
        QApplication::instance()->notify(w.form.get(), &by_hand);
        setQuestionHook(previous);

        QCOMPARE(questions.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(questions.front(),
                     QStringLiteral("收发进程正在运行，关闭窗口将停止短消息的发送和接收。\n确定要关闭吗？"));
        }
        QCOMPARE(by_hand.isAccepted(), closed);
        const Calls started = running ? Calls{"Resume"} : Calls{"Resume", "Suspend"};
        if (closed) {
            Calls ended = started;
            ended.insert(ended.end(), {"Suspend", "Shutdown", "deleted"});
            QCOMPARE(*w.calls, ended);
        } else {
            QCOMPARE(*w.calls, started);
            QVERIFY(!w.engine->Suspended());
            QCOMPARE(w.form->windowTitle(), started_caption);
        }
    }

    void close_by_the_program_does_not_ask() {
        ConsoleWindow w;
        w.form->show();
        w.form->BitBtn3Click();
        int questions = 0;
        const QuestionHook previous = setQuestionHook([&](QWidget*, const QString&) {
            ++questions;
            return false;
        });
        const bool closed = w.form->close();
        setQuestionHook(previous);
        QVERIFY(closed);
        QCOMPARE(questions, 0);
        QCOMPARE(*w.calls, Calls({"Resume", "Suspend", "Shutdown", "deleted"}));
    }

    // Engine-thread writes land in the model at once, reach the window in their order, and only on the
    // GUI thread; a write of the window itself comes after them.
    void engine_writes_reach_the_window_in_order() {
        ConsoleWindow w;
        MonitorModel& model = w.form->monitor();
        QSignalSpy captions(&model, &MonitorModel::captionChanged);
        bool off_thread = false;
        connect(&model, &MonitorModel::monitorPrepended, this,
                [&off_thread] { off_thread |= QThread::currentThread() != qApp->thread(); });

        std::string expected = gbk("系统已准备好\r\n");
        std::size_t length_seen_by_engine = 0;
        std::thread engine([&] {
            model.replace_monitor(gbk("系统已准备好\r\n"));
            for (int i = 0; i < 200; ++i) {
                model.prepend_monitor("line " + std::to_string(i) + "\r\n");
                model.set_caption("caption " + std::to_string(i));
            }
            length_seen_by_engine = model.monitor_length();
        });
        engine.join();
        for (int i = 0; i < 200; ++i) {
            expected.insert(0, "line " + std::to_string(i) + "\r\n");
        }
        // The engine reads the length of what it wrote, whatever the window shows yet.
        QCOMPARE(length_seen_by_engine, expected.size());

        model.prepend_monitor("window\r\n");
        QCOMPARE(w.monitorText(), from_gbk("window\r\n" + expected));
        QCOMPARE(captions.count(), 200);
        for (int i = 0; i < 200; ++i) {
            QCOMPARE(captions[i].at(0).toString(), QStringLiteral("caption %1").arg(i));
        }
        QCOMPARE(w.form->windowTitle(), QStringLiteral("caption 199"));
        QVERIFY(!off_thread);
    }

    // Both threads writing at once: the box ends up with exactly the model's text, so no change was
    // lost or shown out of turn.
    void concurrent_writers_leave_box_and_model_alike() {
        ConsoleWindow w;
        MonitorModel& model = w.form->monitor();
        std::thread engine([&] {
            for (int i = 0; i < 500; ++i) {
                model.prepend_monitor("engine " + std::to_string(i) + "\r\n");
                if (i % 100 == 0) {
                    model.replace_monitor("cleared by the engine\r\n");
                }
            }
        });
        for (int i = 0; i < 500; ++i) {
            model.prepend_monitor("window " + std::to_string(i) + "\r\n");
            QCoreApplication::processEvents();
        }
        engine.join();
        QTRY_COMPARE(w.monitorText(), from_gbk(model.monitor_text()));
    }

    // With the real engine thread on a port that does not exist: its failure report comes through the
    // same model as the window's own texts, and closing ends the thread.
    void engine_thread_reports_a_missing_port() {
        QVERIFY(write_setting("COM", "/nonexistent/ttyVMSMS0"));
        VirtualClock clock;
        TForm1 form(clock, make_engine_thread);
        form.Timer1->stop();
        QSignalSpy replaced(&form.monitor(), &MonitorModel::monitorReplaced);
        form.BitBtn3Click();
        // The old words, then the device and what is wrong with it.
        const QString failure =
            QStringLiteral("..数据线没有准备好，或COM口忙!\r\n数据线没有准备好，或COM口忙!"
                           "请先关闭系统，检查后重试!\r\n\r\n"
                           "串口 /nonexistent/ttyVMSMS0 无法打开：没有这个设备：检查数据线是否插好，"
                           "串口名称是否正确\r\n");
        auto reported = [&] {
            for (const QList<QVariant>& args : replaced) {
                if (args.at(0).toString() == failure) {
                    return true;
                }
            }
            return false;
        };
        QTRY_VERIFY(reported());
        QTRY_COMPARE(form.windowTitle(), from_gbk(form.monitor().caption()));
        QCOMPARE(box_text(form.monitorTab->Memo7), from_gbk(form.monitor().monitor_text()));
        QVERIFY(form.close());
        QVERIFY(file_bytes("sms.log").find("create com err.") != std::string::npos);
    }

    void options_follow_the_controls() {
        ConsoleWindow w;
        SettingsTab* s = w.form->settingsTab;
        EngineOptions& o = w.form->engineOptions();
        s->CheckBox1->setChecked(true);
        s->CheckBox4->setChecked(true);
        s->CheckBox5->setChecked(true);
        s->CheckBox6->setChecked(true);
        s->CheckBox7->setChecked(true);
        s->TrackBar1->setValue(9);
        QVERIFY(o.fast_device && o.retry && o.pause_after_failure && o.wider_compatibility && o.show_on_screen);
        QCOMPARE(o.speed.load(), 9);
        s->CheckBox4->setChecked(false);
        QVERIFY(!o.retry);
        s->RadioButton1->click();
        QCOMPARE(o.device.load(), DeviceType::Siemens);
        QCOMPARE(read_setting("MTYPE", "", 20), std::string("1"));
        w.form->catalogueTab->CheckBox3->setChecked(true);
        QVERIFY(o.members_only);
    }

    // After queueing, the status line gives the record number, then clears itself.
    void status_line_tells_the_record_queued() {
        ConsoleWindow w;
        CapturedMessages messages;
        QCOMPARE(w.form->queuedMessageTime(), 10000);
        w.form->setQueuedMessageTime(300); // the word's clearing, without waiting its ten seconds
        auto* recipients = w.form->findChild<QPlainTextEdit*>("shoujihao");
        auto* content = w.form->findChild<QPlainTextEdit*>("duanxin");
        recipients->setPlainText(QStringLiteral("13900000001"));
        content->setPlainText(QStringLiteral("你好"));
        w.form->findChild<QPushButton*>("fasdx")->click();
        QVERIFY(messages.texts.isEmpty());
        const QString today = QStringLiteral("2004-5-6"); // the window's clock
        QCOMPARE(w.form->StatusBar1->currentMessage(), QStringLiteral("短信已加入发送队列：%1 第 1 条").arg(today));
        w.form->findChild<QPushButton*>("fasdx")->click();
        QCOMPARE(w.form->StatusBar1->currentMessage(), QStringLiteral("短信已加入发送队列：%1 第 2 条").arg(today));
        QTRY_VERIFY_WITH_TIMEOUT(w.form->StatusBar1->currentMessage().isEmpty(), 15000);
    }

    void launchers_start_companion_programs() {
        // Without ".exe", as programs on Linux are named; each press starts one more instance.
        write_script("numgen", "echo started >> numgen.out\n");
        ConsoleWindow w;
        CapturedMessages messages;
        w.form->Button10->click();
        w.form->Button10->click();
        QTRY_COMPARE(file_bytes("numgen.out"), std::string("started\nstarted\n"));
        // A missing program shows nothing.
        w.form->Button7->click();
        w.form->Button13->click();
        QVERIFY(messages.texts.isEmpty());
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
