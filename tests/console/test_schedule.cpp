// The scheduled start and stop: the window acting on the minute rules at the ticks of a virtual clock.
#include "console/main_window.h"
#include "console/settings_tab.h"
#include "console/support/captured_messages.h"
#include "console/support/console_window.h"
#include "console/support/work_dir_test_case.h"
#include "store/settings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

const QString scheduled_start_caption = QStringLiteral("Velmorasms客户管理系统--企业短消息服务器  ：   收发进程已启动");
const QString scheduled_stop_caption =
    QStringLiteral("Velmorasms客户管理系统---企业短消息服务器  ：   收发进程已经停止！");
const QString scheduled_start_text = QStringLiteral("-------------收发进程已经定时启动！ \r\n");
const QString scheduled_stop_text = QStringLiteral("-------------收发进程已经定时停止！\r\n");
const QString port_missing_entry =
    QStringLiteral("未设置通信端口（server.txt 中 [SET] 的 COM）。请先在“系统设置”页填写端口并按“确定”保存。\r\n");

LocalTime at(int hour, int minute, int second) {
    return {2004, 5, 6, hour, minute, second};
}

} // namespace

class ScheduleTest : public WorkDirTestCase {
    Q_OBJECT

private slots:
    void scheduled_start_resumes_once_in_the_minute() {
        ConsoleWindow w(at(7, 0, 59));
        TForm1& f = *w.form;
        f.settingsTab->CheckBox2->setChecked(true);
        const QString before = w.monitorText();

        f.Timer1Timer();
        QVERIFY(w.calls->empty());

        w.clock.set(at(7, 1, 0));
        f.Timer1Timer();
        QCOMPARE(*w.calls, EngineCalls({"Resume"}));
        QVERIFY(!f.BitBtn3->isEnabled());
        QVERIFY(f.BitBtn5->isEnabled());
        QVERIFY(f.settingsTab->Button2->isEnabled()); // unlike the start button, the schedule leaves it
        QCOMPARE(w.monitorText(), scheduled_start_text + before);
        QCOMPARE(f.windowTitle(), scheduled_start_caption);

        w.clock.set(at(7, 1, 1));
        f.Timer1Timer();
        QCOMPARE(w.calls->size(), std::size_t(1));
    }

    // Nobody may be there at the start minute: instead of a message box every second, the monitor gets
    // one entry, and the engine stays paused until a port is saved.
    void scheduled_start_without_a_saved_port() {
        CapturedMessages messages;
        ConsoleWindow w(at(7, 1, 0), SavedPort::None);
        TForm1& f = *w.form;
        f.settingsTab->CheckBox2->setChecked(true);
        const QString before = w.monitorText();
        const QString title = f.windowTitle();
        for (int second = 0; second < 3; ++second) {
            w.clock.set(at(7, 1, second));
            f.Timer1Timer();
        }
        QVERIFY(w.calls->empty());
        QVERIFY(f.BitBtn3->isEnabled());
        QVERIFY(!f.BitBtn5->isEnabled());
        QCOMPARE(f.windowTitle(), title);
        QCOMPARE(w.monitorText(), port_missing_entry + before);
        QVERIFY(messages.texts.isEmpty());

        // The next day's start minute says it again.
        w.clock.set({2004, 5, 7, 7, 1, 0});
        f.Timer1Timer();
        QCOMPARE(w.monitorText(), port_missing_entry + port_missing_entry + before);

        // Saved within the minute, the port lets the next tick start the process.
        QVERIFY(write_setting("COM", "COM2"));
        w.clock.set({2004, 5, 7, 7, 1, 1});
        f.Timer1Timer();
        QCOMPARE(*w.calls, EngineCalls({"Resume"}));
        QCOMPARE(w.monitorText(), scheduled_start_text + port_missing_entry + port_missing_entry + before);
        QVERIFY(messages.texts.isEmpty());
    }

    void stop_pressed_in_the_start_minute_is_undone() {
        ConsoleWindow w(at(7, 1, 0));
        TForm1& f = *w.form;
        f.settingsTab->CheckBox2->setChecked(true);
        f.Timer1Timer();
        f.ddd();
        w.clock.set(at(7, 1, 30));
        f.Timer1Timer();
        QCOMPARE(*w.calls, EngineCalls({"Resume", "Suspend", "Resume"}));
        QVERIFY(!w.engine->Suspended());
        QVERIFY(f.BitBtn5->isEnabled());
    }

    void scheduled_stop_pauses_the_running_engine() {
        ConsoleWindow w(at(20, 59, 59));
        TForm1& f = *w.form;
        f.settingsTab->CheckBox2->setChecked(true);
        f.BitBtn3Click();
        f.Timer1Timer();
        w.clock.set(at(21, 0, 0));
        f.Timer1Timer();
        QCOMPARE(*w.calls, EngineCalls({"Resume", "Suspend"}));
        QVERIFY(f.BitBtn3->isEnabled());
        QVERIFY(!f.BitBtn5->isEnabled());
        QCOMPARE(f.windowTitle(), scheduled_stop_caption);
        QCOMPARE(w.monitorText(), scheduled_stop_text + QStringLiteral("-------------收发进程已经启动！"));

        // A manual start in the stop minute is undone at the next tick.
        f.BitBtn3Click();
        w.clock.set(at(21, 0, 1));
        f.Timer1Timer();
        QCOMPARE(*w.calls, EngineCalls({"Resume", "Suspend", "Resume", "Suspend"}));
    }

    void equal_times_reset_the_boxes() {
        ConsoleWindow w(at(12, 0, 0));
        TForm1& f = *w.form;
        f.settingsTab->CheckBox2->setChecked(true);
        f.settingsTab->Edit9->setText(QStringLiteral("21:00"));
        f.settingsTab->Edit10->setText(QStringLiteral("21:00"));
        f.Timer1Timer();
        QCOMPARE(f.settingsTab->Edit9->text(), QStringLiteral("8:01"));
        QCOMPARE(f.settingsTab->Edit10->text(), QStringLiteral("21:00"));
        QVERIFY(w.calls->empty());
    }

    void unticked_schedule_does_nothing() {
        ConsoleWindow w(at(7, 1, 0));
        TForm1& f = *w.form;
        f.Timer1Timer();
        w.clock.set(at(21, 0, 0));
        f.Timer1Timer();
        QVERIFY(w.calls->empty());
        QVERIFY(f.BitBtn3->isEnabled());
    }

    // The boxes govern, not the file: a time typed and never saved still starts the process.
    void typed_time_governs_without_saving() {
        ConsoleWindow w(at(9, 15, 0));
        TForm1& f = *w.form;
        f.settingsTab->CheckBox2->setChecked(true);
        f.settingsTab->Edit9->setText(QStringLiteral("9:15"));
        f.Timer1Timer();
        QCOMPARE(*w.calls, EngineCalls({"Resume"}));
    }
};

QTEST_MAIN(ScheduleTest)
#include "test_schedule.moc"
