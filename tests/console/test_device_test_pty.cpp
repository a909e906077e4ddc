// The settings tab running the device test on a worker against a pseudo-terminal modem, in real time,
// with the window free meanwhile.
#include "console/settings_tab.h"
#include "console/support/captured_messages.h"
#include "console/support/pty_modem.h"
#include "console/support/work_dir_test_case.h"
#include "engine/engine_options.h"
#include "modem/serial_link.h"
#include "store/settings.h"
#include "support/virtual_clock.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString idle_caption = QStringLiteral("设备测试并保存设备参数");
const QString device_ok = QStringLiteral("设备正常，设备参数保存正确，可以正常工作!");
const QString no_ok = QStringLiteral("!!! 数据线没有准备好,或设置错误!");
const QString network = QStringLiteral("信号强度：25（-63 dBm，很好）\r\n网络注册：已注册，本地网络");

} // namespace

class DeviceTestPtyTest : public WorkDirTestCase {
    Q_OBJECT

private slots:
    // The settings tab runs the test on a worker: the click returns at once, and the boxes and the
    // caption come in the test's order once the pseudo-terminal's modem has answered.
    void settings_tab_tests_a_pty_modem_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("after"); // the boxes after the raw answer
        QTest::newRow("echo and OK") << QStringLiteral("at\r\r\nOK\r\n") << QStringList({device_ok, network});
        QTest::newRow("ERROR") << QStringLiteral("at\r\r\nERROR\r\n") << QStringList({no_ok});
        QTest::newRow("no answer") << QString() << QStringList({no_ok});
    }
    void settings_tab_tests_a_pty_modem() {
        QFETCH(QString, answer);
        QFETCH(QStringList, after);
        PtyModem modem(answer.toStdString());
        QVERIFY(modem.valid());
        QVERIFY(write_setting("COM", modem.path()));
        QVERIFY(write_setting("RATE", "19200"));
        CapturedMessages messages;
        VirtualClock clock;
        EngineOptions options;
        SettingsTab tab(options, clock, port_open);
        QSignalSpy finished(&tab, &SettingsTab::deviceTestFinished);

        tab.Button2Click();
        QVERIFY(tab.deviceTestRunning());
        QVERIFY(messages.texts.isEmpty());

        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 15000);
        QCOMPARE(messages.texts, QStringList({answer}) + after);
        QCOMPARE(tab.Button2->text(), idle_caption);
        QVERIFY(!tab.deviceTestRunning());
        QVERIFY(QString::fromStdString(modem.received()).contains(QStringLiteral("at\r\n")));
    }

    void a_second_click_while_testing_starts_nothing() {
        PtyModem modem("at\r\r\nOK\r\n");
        QVERIFY(modem.valid());
        QVERIFY(write_setting("COM", modem.path()));
        CapturedMessages messages;
        VirtualClock clock;
        EngineOptions options;
        SettingsTab tab(options, clock, port_open);
        QSignalSpy started(&tab, &SettingsTab::deviceTestStarted);
        QSignalSpy finished(&tab, &SettingsTab::deviceTestFinished);
        tab.Button2Click();
        tab.Button2Click();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 15000);
        QCOMPARE(started.count(), 1);
        QCOMPARE(messages.texts.size(), 3);
    }
};

QTEST_MAIN(DeviceTestPtyTest)
#include "test_device_test_pty.moc"
