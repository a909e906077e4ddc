// The device test: its steps against a scripted port in virtual time, and the window and the settings
// tab ending a test under way. The runs against a pseudo-terminal modem are in test_device_test_pty.
#include "console/main_window.h"
#include "console/qt_text.h"
#include "console/settings_tab.h"
#include "console/support/captured_messages.h"
#include "console/support/recording_engine.h"
#include "console/support/work_dir_test_case.h"
#include "modem/device_test.h"
#include "modem/serial_link.h"
#include "platform/gbk.h"
#include "store/settings.h"
#include "support/borrowed_port.h"
#include "support/fake_serial_port.h"
#include "support/virtual_clock.h"

#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

const QString testing_caption = QStringLiteral(">>参数测试过程中....");
const QString idle_caption = QStringLiteral("设备测试并保存设备参数");
const QString device_ok = QStringLiteral("设备正常，设备参数保存正确，可以正常工作!");
const QString no_ok = QStringLiteral("!!! 数据线没有准备好,或设置错误!");
const QString network = QStringLiteral("信号强度：25（-63 dBm，很好）\r\n网络注册：已注册，本地网络");

// `at_answer` to "at", and what a modem registered at home with a good signal says to the questions
// that follow a working answer.
std::vector<ModemReply> modem_answers(const std::string& at_answer) {
    return {{"at\r\n", at_answer},
            {"AT+CSQ\r", "\r\n+CSQ: 25,99\r\n\r\nOK\r\n"},
            {"AT+CREG?\r", "\r\n+CREG: 0,1\r\n\r\nOK\r\n"}};
}
const QString refused = QStringLiteral("!!!数据线没有准备好,或设置错误!");
const QString no_port = QStringLiteral("!无此COM口,或COM口已被占用。");
const QString port_in_use = QStringLiteral("COM口已被占用,请停止收发进程！");

// What the operator saw, one line per step, for comparisons that read like the screen.
struct Seen {
    QStringList steps;
    std::vector<std::string> opened;
};

QString describe(const DeviceTestStep& step) {
    const char* kind = step.kind == DeviceTestStep::Kind::Message ? "message: " : "caption: ";
    return QString::fromLatin1(kind) + from_gbk(step.text);
}

QString message(const QString& text) {
    return QStringLiteral("message: ") + text;
}

QString caption(const QString& text) {
    return QStringLiteral("caption: ") + text;
}

Seen run_on(FakeSerialPort* port, Clock& clock, bool start_enabled, StopSignal& stop) {
    Seen seen;
    PortOpener open = [&seen, port](const std::string& path) -> std::unique_ptr<SerialPort> {
        seen.opened.push_back(path);
        return port ? std::make_unique<BorrowedPort>(*port) : nullptr;
    };
    run_device_test(
        start_enabled, clock_waits(clock), open, [&seen](const DeviceTestStep& step) { seen.steps << describe(step); },
        stop);
    return seen;
}

Seen run_on(FakeSerialPort* port, VirtualClock& clock, bool start_enabled = true) {
    StopSignal stop;
    return run_on(port, clock, start_enabled, stop);
}

// A clock whose first wait is interrupted by the window closing.
class ClosingClock : public VirtualClock {
public:
    explicit ClosingClock(StopSignal& stop) : stop_(stop) {}
    void sleep_ms(int ms) override {
        VirtualClock::sleep_ms(ms);
        stop_.request();
    }

private:
    StopSignal& stop_;
};

// Waits in the place of the device test's own that last a day unless the test is stopped, so a close
// that waited one out could never pass. Records what the worker went through.
struct EndlessWaits {
    std::atomic<bool> entered{false};
    std::atomic<bool> stopped{false};
    std::atomic<bool> returned{false};

    DeviceTestWait waits() {
        return [this](int, StopSignal& stop) {
            entered = true;
            stopped = stop.wait_for_ms(24 * 60 * 60 * 1000);
            returned = true;
            return !stopped;
        };
    }
};

} // namespace

class DeviceTestTest : public WorkDirTestCase {
    Q_OBJECT

private slots:
    void verdict_follows_the_reply_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("after"); // the boxes after the raw answer
        QTest::newRow("echo and OK") << QStringLiteral("at\r\r\nOK\r\n") << QStringList({device_ok, network});
        QTest::newRow("ERROR") << QStringLiteral("at\r\r\nERROR\r\n") << QStringList({no_ok});
        QTest::newRow("OK anywhere counts")
            << QStringLiteral("at\r\r\nBOOKED\r\n") << QStringList({device_ok, network});
        QTest::newRow("silent modem") << QString() << QStringList({no_ok});
    }
    void verdict_follows_the_reply() {
        QFETCH(QString, answer);
        QFETCH(QStringList, after);
        VirtualClock clock;
        FakeSerialPort port(&clock);
        port.standing(modem_answers(answer.toStdString()));
        Seen seen = run_on(&port, clock);
        QStringList expected = {caption(testing_caption), message(answer)};
        for (const QString& text : after) {
            expected.append(message(text));
        }
        expected.append(caption(idle_caption));
        QCOMPARE(seen.steps, expected);
        QVERIFY(port.closed());
    }

    void waits_and_exchange_are_fixed() {
        VirtualClock clock;
        FakeSerialPort port(&clock);
        port.standing(modem_answers("at\r\r\nOK\r\n"));
        run_on(&port, clock);
        // 2000 ms after the purge, 3000 ms after "at", then the read's own time-out for 512 bytes; the
        // signal and registration questions take only as long as the answers.
        QCOMPARE(clock.sleeps(), std::vector<int>({2000, 3000, read_timeout_ms(chunk_size)}));
        QCOMPARE(port.prepares(), 1);
        QCOMPARE(port.writes().size(), std::size_t(3));
        QCOMPARE(port.writes()[0].bytes, std::string("at\r\n"));
        QCOMPARE(port.writes()[0].at_ms, 2000LL);
        QCOMPARE(port.writes()[1].bytes, std::string("AT+CSQ\r"));
        QCOMPARE(port.writes()[2].bytes, std::string("AT+CREG?\r"));
        QCOMPARE(port.configured(), std::vector<std::uint32_t>({19200}));
    }

    void port_and_rate_come_from_the_settings_file_data() {
        QTest::addColumn<QString>("com");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("device");
        QTest::addColumn<uint>("baud");
        QTest::newRow("no settings file: COM1 at 19200") << QString() << QString() << "/dev/ttyS0" << 19200u;
        QTest::newRow("COM3, rate with trailing letters") << "COM3"
                                                          << "9600abc"
                                                          << "/dev/ttyS2" << 9600u;
        QTest::newRow("a device path") << "/dev/ttyUSB1"
                                       << "115200"
                                       << "/dev/ttyUSB1" << 115200u;
        const QString long_path = QStringLiteral("/dev/serial/by-id/usb-") + QString(233, QLatin1Char('x'));
        QTest::newRow("a 255-byte device path") << long_path << "19200" << long_path << 19200u;
    }
    void port_and_rate_come_from_the_settings_file() {
        QFETCH(QString, com);
        QFETCH(QString, rate);
        QFETCH(QString, device);
        QFETCH(uint, baud);
        if (!com.isEmpty()) {
            QVERIFY(write_setting("COM", com.toStdString()));
            QVERIFY(write_setting("RATE", rate.toStdString()));
        }
        VirtualClock clock;
        FakeSerialPort port(&clock);
        Seen seen = run_on(&port, clock);
        QCOMPARE(seen.opened, std::vector<std::string>({device.toStdString()}));
        QCOMPARE(port.configured(), std::vector<std::uint32_t>({baud}));
    }

    void a_port_that_cannot_be_opened_data() {
        QTest::addColumn<bool>("start_enabled");
        QTest::addColumn<QString>("text");
        QTest::newRow("process not running") << true << no_port;
        QTest::newRow("process running") << false << port_in_use;
    }
    void a_port_that_cannot_be_opened() {
        QFETCH(bool, start_enabled);
        QFETCH(QString, text);
        VirtualClock clock;
        Seen seen = run_on(nullptr, clock, start_enabled);
        // Only the message: the button's caption is not touched.
        QCOMPARE(seen.steps, QStringList({message(text)}));
        QVERIFY(clock.sleeps().empty());
    }

    void refused_line_settings_skip_the_exchange() {
        VirtualClock clock;
        FakeSerialPort port(&clock);
        port.set_accepts_configure(false);
        Seen seen = run_on(&port, clock);
        QCOMPARE(seen.steps, QStringList({message(refused), caption(idle_caption)}));
        QVERIFY(port.writes().empty());
        QVERIFY(clock.sleeps().empty());
        QVERIFY(port.closed());
    }

    void closing_mid_test_closes_the_port_and_shows_nothing_more() {
        StopSignal stop;
        ClosingClock clock(stop);
        FakeSerialPort port(&clock);
        port.standing({{"at\r\n", "at\r\r\nOK\r\n"}});
        Seen seen = run_on(&port, clock, true, stop);
        QVERIFY(seen.steps.isEmpty());
        QVERIFY(port.writes().empty());
        QVERIFY(port.closed());
    }

    // The real clock's waits end the moment a stop is requested, also one requested before they begin.
    void real_waits_end_at_a_stop() {
        DeviceTestWait wait = clock_waits(real_clock());
        StopSignal stop;
        std::atomic<bool> passed{true};
        std::thread worker([&] { passed = wait(24 * 60 * 60 * 1000, stop); });
        stop.request();
        worker.join();
        QVERIFY(!passed);
        QVERIFY(!wait(24 * 60 * 60 * 1000, stop));
        stop.reset();
        QVERIFY(wait(1, stop));
    }

    // Closing the window, or dropping the settings tab, in the middle of the device test's first wait
    // stops the wait and the worker: when the close returns, the worker has closed the port and ended,
    // and nothing more is shown. The wait would last a day otherwise.
    void closing_ends_a_wait_under_way_data() {
        QTest::addColumn<bool>("whole_window");
        QTest::newRow("window closed") << true;
        QTest::newRow("settings tab destroyed") << false;
    }
    void closing_ends_a_wait_under_way() {
        QFETCH(bool, whole_window);
        QVERIFY(write_setting("COM", "COM1"));
        CapturedMessages messages;
        VirtualClock clock;
        FakeSerialPort port(&clock);
        port.standing({{"at\r\n", "at\r\r\nOK\r\n"}});
        PortOpener open = [&port](const std::string&) -> std::unique_ptr<SerialPort> {
            return std::make_unique<BorrowedPort>(port);
        };
        EndlessWaits waits;
        RecordingEngine* engine = nullptr;
        std::unique_ptr<TForm1> form;
        EngineOptions options;
        std::unique_ptr<SettingsTab> tab;
        if (whole_window) {
            form = std::make_unique<TForm1>(clock, recording_engine_factory(&engine), open);
            form->settingsTab->setDeviceTestWait(waits.waits());
            form->settingsTab->Button2Click();
        } else {
            tab = std::make_unique<SettingsTab>(options, clock, open);
            tab->setDeviceTestWait(waits.waits());
            tab->Button2Click();
        }
        QTRY_VERIFY(waits.entered);

        if (whole_window) {
            QVERIFY(form->close());
            QVERIFY(!form->settingsTab->deviceTestRunning());
        } else {
            tab.reset();
        }
        QVERIFY(waits.stopped);
        QVERIFY(waits.returned);
        QVERIFY(port.closed());
        QVERIFY(port.writes().empty());
        form.reset();
        QCoreApplication::processEvents();
        QVERIFY(messages.texts.isEmpty());
    }
};

QTEST_MAIN(DeviceTestTest)
#include "test_device_test.moc"
