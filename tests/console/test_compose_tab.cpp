#include "console/compose_tab.h"
#include "console/console_state.h"
#include "console/qt_text.h"
#include "console/support/captured_messages.h"
#include "console/support/scoped_work_dir.h"
#include "console/support/spool_records.h"
#include "engine/engine_options.h"
#include "platform/gbk.h"
#include "support/hostile_input.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

const QString too_long = QStringLiteral("收信内容不能太多！");
const QString no_recipients = QStringLiteral("收信人不能为空！");
const QString no_content = QStringLiteral("收信内容不能为空！");

QString repeated(const QString& piece, int times) {
    QString out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

} // namespace

class TestComposeTab : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstMessageOfDayWritesWholeRecord();
    void contentRules_data();
    void contentRules();
    void startUpHintIsNotQueued();
    void twoClicksQueueTwoRecords();
    void enterQueuesLikeTheButton();
    void textGbkCannotHoldIsRefused();
    void writeFailureIsReported();
    void lockFailureNamesTheLockAndTheCause();
    void hostileInputIsRefused_data();
    void hostileInputIsRefused();
    void counterCountsGbkBytes_data();
    void counterCountsGbkBytes();
    void typedTextStopsAtTheLimit();
    void controlsCarryTheirNames();
    void longMessagesTakeTenParts_data();
    void longMessagesTakeTenParts();
    void longMessagesCounterTellsTheParts();

private:
    QPlainTextEdit* box(const char* name) { return tab_->findChild<QPlainTextEdit*>(name); }
    QPushButton* sendButton() { return tab_->findChild<QPushButton*>("fasdx"); }
    void compose(const QString& recipients, const QString& content, bool english);

    std::unique_ptr<ScopedWorkDir> dir_;
    std::unique_ptr<CapturedMessages> messages_;
    std::unique_ptr<VirtualClock> clock_;
    std::unique_ptr<ConsoleState> state_;
    std::unique_ptr<EngineOptions> options_;
    std::unique_ptr<ComposeTab> tab_;
};

void TestComposeTab::init() {
    dir_ = std::make_unique<ScopedWorkDir>();
    QVERIFY(dir_->valid());
    messages_ = std::make_unique<CapturedMessages>();
    clock_ = std::make_unique<VirtualClock>(LocalTime{2004, 5, 6, 14, 5, 9});
    state_ = std::make_unique<ConsoleState>();
    options_ = std::make_unique<EngineOptions>();
    tab_ = std::make_unique<ComposeTab>(*state_, *options_, *clock_);
}

void TestComposeTab::cleanup() {
    tab_.reset();
    messages_.reset();
    dir_.reset();
}

void TestComposeTab::compose(const QString& recipients, const QString& content, bool english) {
    set_box_text(box("shoujihao"), recipients);
    set_box_text(box("duanxin"), content);
    tab_->findChild<QRadioButton*>(english ? "RadioButton3" : "RadioButton4")->setChecked(true);
}

void TestComposeTab::firstMessageOfDayWritesWholeRecord() {
    // Two numbers on one line, a number closed by ';' before the line break, and a range.
    compose(QStringLiteral("13500000001;13500000002\r\n13500000003;\r\n13566668888-13566669999"),
            QStringLiteral("你好"), false);
    sendButton()->click();

    QCOMPARE(messages_->texts, QStringList());
    for (const char* sub : {"", "/new", "/send", "/recv", "/qury"}) {
        QVERIFY2(std::filesystem::is_directory(std::string("2004-5-6") + sub), sub);
    }
    QCOMPARE(file_bytes("2004-5-6/new/R1"),
             std::string("13500000001\r\n13500000002\r\r\n13500000003;\r\r\n13566668888-13566669999"));
    QCOMPARE(file_bytes("2004-5-6/new/H1"),
             gbk("[HEAD]\r\ntime=2004-5-6 14:05:09\r\nsend= \r\ntype=查询\r\nstat=未发\r\njrade=紧急\r\n"));
    QCOMPARE(file_bytes("2004-5-6/new/DA1"), gbk("你好"));
    QCOMPARE(file_bytes("2004-5-6/new/acc"), std::string("1"));
    // The boxes keep their text after queueing.
    QCOMPARE(box("duanxin")->toPlainText(), QStringLiteral("你好"));
}

void TestComposeTab::contentRules_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("english");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QByteArray>("stored");

    const QString han70 = repeated(QStringLiteral("汉"), 70);
    const QString han71 = repeated(QStringLiteral("汉"), 71);
    const QString latin142 = repeated(QStringLiteral("a"), 142);
    const QString line68 = repeated(QStringLiteral("汉"), 34) + "\r\n" + repeated(QStringLiteral("汉"), 34);
    const QString line69 = repeated(QStringLiteral("汉"), 35) + "\r\n" + repeated(QStringLiteral("汉"), 34);
    auto bytes = [](const QString& s) { return QByteArray::fromStdString(to_gbk(s).value()); };

    QTest::newRow("70 Chinese characters pass") << han70 << false << QString() << bytes(han70);
    QTest::newRow("71 Chinese characters are too many") << han71 << false << too_long << QByteArray();
    // The box's CR LF is written in text mode, so the file holds CR CR LF.
    QTest::newRow("68 characters and a line break pass")
        << line68 << false << QString()
        << (bytes(repeated(QStringLiteral("汉"), 34)) + "\r\r\n" + bytes(repeated(QStringLiteral("汉"), 34)));
    QTest::newRow("69 characters and a line break are too many") << line69 << false << too_long << QByteArray();
    QTest::newRow("142 English letters pass with kind byte and blanks")
        << latin142 << true << QString() << ("\x02" + bytes(latin142) + "   ");
    QTest::newRow("71 Chinese characters as English are 71 septets")
        << han71 << true << QString() << ("\x02" + bytes(han71) + "   ");
    // Extension characters take two septets: 81 of them no longer fit one message.
    QTest::newRow("English over 160 septets is refused, not cut")
        << repeated(QStringLiteral("{"), 81) << true << too_long << QByteArray();
    QTest::newRow("empty content") << QString() << false << no_content << QByteArray();
}

void TestComposeTab::contentRules() {
    QFETCH(QString, content);
    QFETCH(bool, english);
    QFETCH(QString, refusal);
    QFETCH(QByteArray, stored);

    compose(QStringLiteral("13500000001"), content, english);
    sendButton()->click();

    if (refusal.isEmpty()) {
        QCOMPARE(messages_->texts, QStringList());
        QCOMPARE(QByteArray::fromStdString(file_bytes("2004-5-6/new/DA1")), stored);
        QCOMPARE(file_bytes("2004-5-6/new/acc"), std::string("1"));
    } else {
        QCOMPARE(messages_->texts, QStringList{refusal});
        // A refusal leaves the day's directories and nothing else.
        QVERIFY(std::filesystem::is_directory("2004-5-6/qury"));
        QVERIFY(std::filesystem::is_empty("2004-5-6/new"));
    }
}

void TestComposeTab::startUpHintIsNotQueued() {
    QPlainTextEdit* recipients = box("shoujihao");
    QVERIFY(recipients->placeholderText().contains(QStringLiteral("13566668888-13577779999")));
    QCOMPARE(recipients->toPlainText(), QString());

    sendButton()->click();

    QCOMPARE(messages_->texts, QStringList{no_recipients});
    QVERIFY(!std::filesystem::exists("2004-5-6/new/R1"));
}

void TestComposeTab::twoClicksQueueTwoRecords() {
    compose(QStringLiteral("13500000001"), QStringLiteral("hello"), true);
    sendButton()->click();
    clock_->set({2004, 5, 6, 14, 6, 0});
    sendButton()->click();

    QCOMPARE(file_bytes("2004-5-6/new/acc"), std::string("2"));
    QCOMPARE(file_bytes("2004-5-6/new/DA2"), std::string("\x02hello   "));
    QVERIFY(file_bytes("2004-5-6/new/H2").find("time=2004-5-6 14:06:00\r\n") != std::string::npos);
    QCOMPARE(file_bytes("2004-5-6/new/R1"), file_bytes("2004-5-6/new/R2"));
}

void TestComposeTab::enterQueuesLikeTheButton() {
    compose(QStringLiteral("13500000001"), QStringLiteral("hello"), true);
    QTest::keyClick(tab_->findChild<QRadioButton*>("RadioButton3"), Qt::Key_Return);
    QCOMPARE(file_bytes("2004-5-6/new/acc"), std::string("1"));
    // In the boxes Enter is a line break, not a send.
    QTest::keyClick(box("duanxin"), Qt::Key_Return);
    QCOMPARE(file_bytes("2004-5-6/new/acc"), std::string("1"));
}

void TestComposeTab::textGbkCannotHoldIsRefused() {
    compose(QStringLiteral("13500000001"), QStringLiteral("笑脸😀"), false);
    sendButton()->click();
    compose(QStringLiteral("张三😀"), QStringLiteral("你好"), false);
    sendButton()->click();

    QCOMPARE(messages_->texts.size(), 2);
    QVERIFY(messages_->texts[0].contains(QStringLiteral("短信内容")));
    QVERIFY(messages_->texts[1].contains(QStringLiteral("收信人")));
    QVERIFY(!std::filesystem::exists("2004-5-6/new/acc"));
}

void TestComposeTab::writeFailureIsReported() {
    // A directory where R1 should go cannot be opened as a file, not even by root.
    QVERIFY(std::filesystem::create_directories("2004-5-6/new/R1"));
    compose(QStringLiteral("13500000001"), QStringLiteral("你好"), false);
    sendButton()->click();

    QCOMPARE(messages_->texts, QStringList{QStringLiteral("短信写入失败！")});
    QCOMPARE(clock_->sleeps(), std::vector<int>{10}); // the one retry of R1
    QVERIFY(!std::filesystem::exists("2004-5-6/new/acc"));
}

void TestComposeTab::lockFailureNamesTheLockAndTheCause() {
    // A directory in place of the lock file cannot be opened for locking, not even by root.
    QVERIFY(std::filesystem::create_directories("2004-5-6/new/acc.lock"));
    compose(QStringLiteral("13500000001"), QStringLiteral("你好"), false);
    sendButton()->click();

    QCOMPARE(messages_->texts, QStringList{QStringLiteral("无法锁定发送队列（2004-5-6/new/acc.lock）：") +
                                           from_gbk(std::strerror(EISDIR))});
    // Without the lock nothing is written, not even the recipients.
    QVERIFY(!std::filesystem::exists("2004-5-6/new/R1"));
    QVERIFY(!std::filesystem::exists("2004-5-6/new/acc"));
}

void TestComposeTab::hostileInputIsRefused_data() {
    QTest::addColumn<QString>("recipients");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("field");
    for (const HostileCase& c : hostile_table().refused) {
        QStringList lines;
        for (const std::string& to : c.to) {
            lines << QString::fromStdString(to);
        }
        QTest::newRow(c.name.c_str()) << lines.join(QStringLiteral("\r\n")) << QString::fromStdString(c.text)
                                      << QString::fromStdString(c.field);
    }
}

// The box takes anything the operator pastes; what could lead the engine to any file, a range that is
// none or too big, and control characters in the text are refused with a message, and nothing is queued.
void TestComposeTab::hostileInputIsRefused() {
    QFETCH(QString, recipients);
    QFETCH(QString, content);
    QFETCH(QString, field);
    make_hostile_directory();
    compose(recipients, content, false);
    sendButton()->click();

    QCOMPARE(messages_->texts.size(), 1);
    QVERIFY2(messages_->texts[0].contains(field == QStringLiteral("text") ? QStringLiteral("控制字符")
                                                                          : QStringLiteral("收信人")),
             qPrintable(messages_->texts[0]));
    QVERIFY(!std::filesystem::exists("2004-5-6/new/acc"));
    QVERIFY(!std::filesystem::exists("2004-5-6/new/R1"));
}

void TestComposeTab::counterCountsGbkBytes_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<int>("bytes");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("ASCII counts one") << QStringLiteral("abc") << 3;
    QTest::newRow("Chinese counts two") << QStringLiteral("你好") << 4;
    QTest::newRow("line break counts two") << QStringLiteral("ab\ncd") << 6;
    QTest::newRow("mixed") << QStringLiteral("English 短信") << 12;
}

void TestComposeTab::counterCountsGbkBytes() {
    QFETCH(QString, content);
    QFETCH(int, bytes);
    auto* counter = tab_->findChild<QLabel*>("Label10");
    QCOMPARE(counter->text(), QStringLiteral("已输入0个字符              "));

    set_box_text(box("duanxin"), content);

    QCOMPARE(counter->text(), QStringLiteral("已输入 %1 个字符       ").arg(bytes));
}

void TestComposeTab::typedTextStopsAtTheLimit() {
    QPlainTextEdit* content = box("duanxin");
    content->clear();
    QTest::keyClicks(content, repeated(QStringLiteral("a"), 150));
    QCOMPARE(box_text(content).size(), 142);

    // A line break takes two places, so it no longer fits after 141 characters.
    content->clear();
    QTest::keyClicks(content, repeated(QStringLiteral("b"), 141));
    QTest::keyClick(content, Qt::Key_Return);
    QCOMPARE(box_text(content), repeated(QStringLiteral("b"), 141));

    // Pasting keeps the part that fits.
    content->clear();
    QGuiApplication::clipboard()->setText(repeated(QStringLiteral("c"), 200));
    content->paste();
    QCOMPARE(box_text(content), repeated(QStringLiteral("c"), 142));

    // Text the program puts in is not cut: the address book may fill the recipients past 1023.
    QPlainTextEdit* recipients = box("shoujihao");
    set_box_text(recipients, repeated(QStringLiteral("1"), 1100));
    QCOMPARE(box_text(recipients).size(), 1100);
    QTest::keyClicks(recipients, QStringLiteral("2"));
    QCOMPARE(box_text(recipients).size(), 1100);
    set_box_text(recipients, repeated(QStringLiteral("1"), 1020));
    recipients->moveCursor(QTextCursor::End);
    QTest::keyClicks(recipients, QStringLiteral("23456"));
    QCOMPARE(box_text(recipients), repeated(QStringLiteral("1"), 1020) + "234");
}

void TestComposeTab::controlsCarryTheirNames() {
    struct Expected {
        const char* name;
        const char* accessible;
    };
    const Expected expected[] = {{"Label1", "收信人"},    {"shoujihao", "收信人"},     {"StaticText1", "短信内容"},
                                 {"duanxin", "短信内容"}, {"RadioButton3", "English"}, {"RadioButton4", "Chinese"},
                                 {"fasdx", "发送短信(S)"}};
    for (const Expected& e : expected) {
        auto* control = tab_->findChild<QWidget*>(e.name);
        QVERIFY2(control, e.name);
        QCOMPARE(control->accessibleName(), QString::fromUtf8(e.accessible));
        QCOMPARE(control->accessibleDescription(), QString::fromLatin1(e.name));
    }
    QVERIFY(tab_->findChild<QRadioButton*>("RadioButton4")->isChecked());
    QVERIFY(box("duanxin")->toPlainText().endsWith(QStringLiteral("\n国内用户选择Chinese ")));
    QCOMPARE(tab_->findChild<QPushButton*>("fasdx")->text(), QStringLiteral("发送短信(&S)"));
    QVERIFY(tab_->addressBookArea() != nullptr);
}

void TestComposeTab::longMessagesTakeTenParts_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("english");
    QTest::addColumn<bool>("queued");
    QTest::newRow("300 Chinese characters") << repeated(QStringLiteral("汉"), 300) << false << true;
    QTest::newRow("670 Chinese characters") << repeated(QStringLiteral("汉"), 670) << false << true;
    QTest::newRow("671 Chinese characters") << repeated(QStringLiteral("汉"), 671) << false << false;
    QTest::newRow("1530 English letters") << repeated(QStringLiteral("a"), 1530) << true << true;
    QTest::newRow("766 braces are 1532 septets") << repeated(QStringLiteral("{"), 766) << true << false;
}

// With long messages on, the record holds the whole text and the box takes more than one message.
void TestComposeTab::longMessagesTakeTenParts() {
    QFETCH(QString, content);
    QFETCH(bool, english);
    QFETCH(bool, queued);
    options_->long_messages = true;
    tab_->longMessagesChanged();
    compose(QStringLiteral("13500000001"), content, english);
    sendButton()->click();
    if (queued) {
        QCOMPARE(messages_->texts, QStringList());
        std::string stored = to_gbk(content).value();
        QCOMPARE(file_bytes("2004-5-6/new/DA1"), english ? "\x02" + stored + "   " : stored);
    } else {
        QCOMPARE(messages_->texts, QStringList{too_long});
        QVERIFY(std::filesystem::is_empty("2004-5-6/new"));
    }
}

void TestComposeTab::longMessagesCounterTellsTheParts() {
    options_->long_messages = true;
    tab_->longMessagesChanged();
    auto* counter = tab_->findChild<QLabel*>("Label10");
    compose(QStringLiteral("13500000001"), repeated(QStringLiteral("汉"), 300), false);
    QCOMPARE(counter->text(), QStringLiteral("已输入 300 个字符，共 5 条"));
    // The same text as English is 300 septets: two parts of 153.
    tab_->findChild<QRadioButton*>("RadioButton3")->setChecked(true);
    QCOMPARE(counter->text(), QStringLiteral("已输入 300 个字符，共 2 条"));
    // Typing goes past one message's 142 characters.
    QPlainTextEdit* content = box("duanxin");
    content->clear();
    QTest::keyClicks(content, repeated(QStringLiteral("a"), 200));
    QCOMPARE(box_text(content).size(), 200);
    // Switched off again: the one-message counter and limit.
    options_->long_messages = false;
    tab_->longMessagesChanged();
    QCOMPARE(counter->text(), QStringLiteral("已输入 200 个字符       "));
}

QTEST_MAIN(TestComposeTab)
#include "test_compose_tab.moc"
