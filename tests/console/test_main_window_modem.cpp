// The window with the real engine thread and the simulated modem: the engine's reports reach the
// monitor in its order, a queued message goes out, and closing the window ends the thread.
#include "console/engine_control.h"
#include "console/main_window.h"
#include "console/monitor_tab.h"
#include "console/qt_text.h"
#include "console/support/modem_test_case.h"
#include "platform/gbk.h"
#include "queue/enqueue.h"
#include "store/settings.h"
#include "support/virtual_clock.h"

#include <QPushButton>
#include <QTimer>
#include <QtTest>

class MainWindowModemTest : public ModemTestCase {
    Q_OBJECT

private slots:
    void queued_message_goes_out_and_close_ends_the_engine() {
        QVERIFY(write_setting("SMSCODE", "8613800200500"));

        // Virtual time: the engine's fixed waits pass at once, its reads still wait for the modem.
        VirtualClock clock;
        QCOMPARE(enqueue_message("13900000001", "hello", true, clock).status, EnqueueStatus::Queued);
        TForm1 form(clock, make_engine_thread);
        form.Timer1->stop();
        form.BitBtn3Click();

        const QString sent = from_gbk(gbk("SMS Create Day: 2004-5-6     13900000001   0    发送成功.\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(box_text(form.monitorTab->Memo7).contains(sent), 60000);
        const QString monitor = box_text(form.monitorTab->Memo7);
        // Newest first: the submission above the engine's "OK!" for the modem in PDU mode.
        const qsizetype pdu_mode = monitor.indexOf(QStringLiteral("OK!\r\n"));
        QVERIFY(pdu_mode > monitor.indexOf(sent));
        QCOMPARE(form.windowTitle(), QStringLiteral("Velmora短信网关--企业短消息服务器  ：   收发进程已启动"));

        QVERIFY(form.close());
        QVERIFY(modem().sent_text().find("13900000001") != std::string::npos);
    }
};

QTEST_MAIN(MainWindowModemTest)
#include "test_main_window_modem.moc"
