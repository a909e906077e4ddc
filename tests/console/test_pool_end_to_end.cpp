// The window with two modems in server.txt: it runs an engine for each, the one queue goes out through
// both, and each engine's monitor lines are named by its modem in the window's one monitor.
#include "console/engine_control.h"
#include "console/main_window.h"
#include "console/monitor_tab.h"
#include "console/qt_text.h"
#include "console/support/modem_test_case.h"
#include "platform/gbk.h"
#include "platform/ini_file.h"
#include "queue/enqueue.h"
#include "store/settings.h"
#include "support/simulated_modem.h"
#include "support/virtual_clock.h"

#include <QDir>
#include <QTimer>
#include <QtTest>

#include <memory>

class PoolEndToEndTest : public ModemTestCase {
    Q_OBJECT

private slots:
    void one_queue_goes_out_through_both_modems_and_the_monitor_names_them() {
        QVERIFY(QDir().mkdir("second"));
        SimulatedModem second(QDir("second").absolutePath().toStdString());
        QVERIFY2(second.ready(), second.output().c_str());
        QVERIFY(ini_write(settings_file, "MODEM2", "COM", second.device()));

        VirtualClock clock;
        const char* numbers[] = {"13900000001", "13900000002", "13900000003", "13900000004"};
        QCOMPARE(enqueue_message("13900000001\r\n13900000002\r\n13900000003\r\n13900000004", "hello", true, clock)
                     .status,
                 EnqueueStatus::Queued);
        TForm1 form(clock, make_engine_thread);
        form.Timer1->stop();
        form.BitBtn3Click();

        auto all_sent = [&] {
            std::string both = modem().sent_text() + second.sent_text();
            for (const char* number : numbers) {
                if (both.find(number) == std::string::npos) {
                    return false;
                }
            }
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(all_sent(), 60000);
        QVERIFY(!modem().sent_text().empty());
        QVERIFY(!second.sent_text().empty());
        const QString monitor = box_text(form.monitorTab->Memo7);
        QVERIFY2(monitor.contains(QStringLiteral("MODEM1: ")), qPrintable(monitor));
        QVERIFY2(monitor.contains(QStringLiteral("MODEM2: ")), qPrintable(monitor));
        // The second modem's own caption, as a line of the monitor.
        QVERIFY2(monitor.contains(QStringLiteral("MODEM2: Velmora短信网关")), qPrintable(monitor));
        QCOMPARE(form.windowTitle(), QStringLiteral("Velmora短信网关--企业短消息服务器  ：   收发进程已启动"));
        QVERIFY(form.close());
    }
};

QTEST_MAIN(PoolEndToEndTest)
#include "test_pool_end_to_end.moc"
