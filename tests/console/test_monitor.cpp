// The monitor: the model the engine thread and the window write, bounded to its newest part, and the
// monitor box that follows it on the GUI thread.
#include "console/monitor_model.h"
#include "console/monitor_tab.h"
#include "console/qt_text.h"
#include "platform/gbk.h"

#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QtTest>

#include <string>
#include <thread>

namespace {

// A model with its box, as the window has them.
struct Monitor {
    Monitor(const std::string& initial, std::size_t limit) : model(initial, limit), tab(model) {}

    QString box() const { return box_text(tab.Memo7); }

    MonitorModel model;
    MonitorTab tab;
};

std::string numbered_line(int i) {
    // Lines of different lengths, some Chinese, so cuts fall at all kinds of places.
    std::string line = "entry " + std::to_string(i) + " ";
    if (i % 3 == 0) {
        line += gbk("短信发送成功");
    }
    line += std::string(static_cast<std::size_t>(i % 17), '.');
    return line + "\r\n";
}

} // namespace

class MonitorTest : public QObject {
    Q_OBJECT

private slots:
    // A 32-byte monitor, so the cuts can be read off the rows: text goes in front, and once the whole is
    // longer than 32 bytes it is cut after the last line break that leaves at most 32.
    void keeps_the_newest_lines_data() {
        QTest::addColumn<QString>("initial");
        QTest::addColumn<QStringList>("prepended"); // in order, each in front of the text
        QTest::addColumn<QString>("kept");
        QTest::newRow("below the limit nothing changes") << "guide\r\n"
                                                         << QStringList({"a\r\n", "b\r\n"}) << "b\r\na\r\nguide\r\n";
        QTest::newRow("exactly the limit stays whole") << "0123456789012345678901234567\r\n"
                                                       << QStringList({"ab"}) << "ab0123456789012345678901234567\r\n";
        QTest::newRow("one byte over: the last line goes")
            << "" << QStringList({"entry-1\r\n", "entry-2\r\n", "entry-3\r\n", "entry-4\r\n"})
            << "entry-4\r\nentry-3\r\nentry-2\r\n";
        QTest::newRow("cut inside an older text of several lines")
            << "g1\r\ng2\r\ng3\r\ng4\r\ng5\r\n"
            << QStringList({"entry-1\r\n", "entry-2\r\n"}) << "entry-2\r\nentry-1\r\ng1\r\ng2\r\ng3\r\n";
        QTest::newRow("Chinese counts two bytes a character")
            << "" << QStringList({"发送成功一\r\n", "发送成功二\r\n", "发送成功三\r\n"})
            << "发送成功三\r\n发送成功二\r\n";
        QTest::newRow("a lone LF ends a line too")
            << "" << QStringList({"0123456789\n", "0123456789\n", "abcdefghij\n"}) << "abcdefghij\n0123456789\n";
        QTest::newRow("a line longer than the limit keeps whole characters")
            << "guide\r\n"
            << QStringList({"a一二三四五六七八九十一二三四五六"}) << "a一二三四五六七八九十一二三四五";
        QTest::newRow("then the next line cuts it away")
            << "guide\r\n"
            << QStringList({"a一二三四五六七八九十一二三四五六", "new\r\n"}) << "new\r\n";
        QTest::newRow("lone CRs count as breaks in the box")
            << "" << QStringList({"a\rb\r\n", "0123456789\r\n", "c\rd\re\r\n", "0123456789\r\n"})
            << "0123456789\r\nc\rd\re\r\n0123456789\r\n";
    }
    void keeps_the_newest_lines() {
        QFETCH(QString, initial);
        QFETCH(QStringList, prepended);
        QFETCH(QString, kept);
        Monitor m(gbk(initial.toStdString()), 32);
        for (const QString& text : prepended) {
            m.model.prepend_monitor(gbk(text.toStdString()));
        }
        const std::string expected = gbk(kept.toStdString());
        QCOMPARE(m.model.monitor_text(), expected);
        QCOMPARE(m.model.monitor_length(), expected.size());
        // The box shows the same text, with CR LF for every line break, lone LFs and CRs included.
        QString shown = kept;
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        QCOMPARE(m.box(), shown.replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
    }

    void a_long_replace_is_cut_the_same_way() {
        Monitor m("guide\r\n", 32);
        QSignalSpy replaced(&m.model, &MonitorModel::monitorReplaced);
        m.model.replace_monitor("line-1\r\nline-2\r\nline-3\r\nline-4\r\nline-5\r\n");
        QCOMPARE(m.model.monitor_text(), std::string("line-1\r\nline-2\r\nline-3\r\nline-4\r\n"));
        QCOMPARE(replaced.count(), 1);
        QCOMPARE(m.box(), QStringLiteral("line-1\r\nline-2\r\nline-3\r\nline-4\r\n"));
    }

    // A send pass's worth of lines at the window's own limit: the box shows exactly the model's text at
    // every point, and the length the engine reads is the GBK length of what the box shows.
    void the_box_follows_every_cut() {
        Monitor m(gbk("使用说明\r\n"), monitor_kept_bytes);
        std::string newest;
        for (int i = 0; i < 20000; ++i) {
            newest = numbered_line(i);
            m.model.prepend_monitor(newest);
            if (i % 2500 == 0 || i == 19999) {
                QCOMPARE(m.box(), from_gbk(m.model.monitor_text()));
            }
        }
        const std::string text = m.model.monitor_text();
        QVERIFY(text.starts_with(newest));
        QVERIFY(text.ends_with("\r\n"));
        QVERIFY(m.model.monitor_length() <= monitor_kept_bytes);
        QVERIFY(m.model.monitor_length() > monitor_kept_bytes - numbered_line(20000).size() - 20);
        QCOMPARE(to_gbk(m.box()).value_or(std::string()).size(), m.model.monitor_length());
        // Still well above what the engine's inbox step looks for.
        QVERIFY(m.model.monitor_length() > 20480);
    }

    // The engine writing far faster than the window follows: the changes waiting for the GUI thread are
    // folded into the text they lead to, and the box still ends up with exactly the model's text and the
    // last caption.
    void an_engine_flood_reaches_the_box_whole() {
        Monitor m(gbk("使用说明\r\n"), monitor_kept_bytes);
        QString last_caption;
        connect(&m.model, &MonitorModel::captionChanged, this, [&](const QString& text) { last_caption = text; });
        std::thread engine([&] {
            for (int i = 0; i < 100000; ++i) {
                m.model.prepend_monitor(numbered_line(i));
                if (i % 10 == 0) {
                    m.model.set_caption("caption " + std::to_string(i));
                }
            }
        });
        engine.join();
        QTRY_COMPARE(last_caption, QStringLiteral("caption 99990"));
        QTRY_COMPARE(m.box(), from_gbk(m.model.monitor_text()));
        QVERIFY(m.model.monitor_text().starts_with(numbered_line(99999)));
        QVERIFY(m.model.monitor_length() <= monitor_kept_bytes);
    }
};

QTEST_MAIN(MonitorTest)
#include "test_monitor.moc"
