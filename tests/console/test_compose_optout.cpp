#include "console/compose_tab.h"
#include "console/console_state.h"
#include "console/qt_text.h"
#include "console/support/captured_messages.h"
#include "console/support/scoped_work_dir.h"
#include "engine/engine_options.h"
#include "platform/gbk.h"
#include "store/optout_list.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The compose tab counts the message's recipients that are on the opt-out list before it queues, over
// the walk the queue makes: numbers in any spelling, ';' lists, ranges member by member, address-book
// customers. Without a list nothing about the tab changes.
class TestComposeOptOut : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void countsRecipientsOnTheList_data();
    void countsRecipientsOnTheList();
    void countFollowsTypingAndTheList();
    void queuedWordNamesTheCount();
    void withoutAListNothingChanges();

private:
    QLabel* warning() const { return tab_->findChild<QLabel*>("Label37"); }
    QPlainTextEdit* box(const char* name) const { return tab_->findChild<QPlainTextEdit*>(name); }
    void writeList();
    void writeAddressBook();

    std::unique_ptr<ScopedWorkDir> dir_;
    std::unique_ptr<CapturedMessages> messages_;
    std::unique_ptr<VirtualClock> clock_;
    std::unique_ptr<ConsoleState> state_;
    std::unique_ptr<EngineOptions> options_;
    std::unique_ptr<ComposeTab> tab_;
};

void TestComposeOptOut::init() {
    dir_ = std::make_unique<ScopedWorkDir>();
    QVERIFY(dir_->valid());
    messages_ = std::make_unique<CapturedMessages>();
    clock_ = std::make_unique<VirtualClock>(LocalTime{2004, 5, 6, 14, 5, 9});
    state_ = std::make_unique<ConsoleState>();
    options_ = std::make_unique<EngineOptions>();
    tab_ = std::make_unique<ComposeTab>(*state_, *options_, *clock_);
    QVERIFY(warning() != nullptr);
}

void TestComposeOptOut::cleanup() {
    tab_.reset();
    messages_.reset();
    dir_.reset();
}

void TestComposeOptOut::writeList() {
    for (const char* number :
         {"13900000001", "+8613900000003", "13566668890", "13566668895", "13900000005", "+447700900123"}) {
        QCOMPARE(add_optout(number, "2004-5-1", "TD"), OptOutChange::Done);
    }
}

void TestComposeOptOut::writeAddressBook() {
    put_file("./cust/custindex", "[cust]\r\n000000=222222\r\nShop=Shop\r\n");
    put_file("./cust/Shop", "[cust]\r\n000000=222222\r\nAnn=13900000005\r\nBob=13900000006\r\n");
}

void TestComposeOptOut::countsRecipientsOnTheList_data() {
    QTest::addColumn<QString>("recipients");
    QTest::addColumn<int>("on_list");
    const QString ann = QStringLiteral("Shop") + QChar(2) + QStringLiteral("Ann");
    const QString bob = QStringLiteral("Shop") + QChar(2) + QStringLiteral("Bob");
    QTest::newRow("one number") << QStringLiteral("13900000001") << 1;
    QTest::newRow("number not on it") << QStringLiteral("13900000002") << 0;
    QTest::newRow("other spellings") << QStringLiteral("8613900000001\r\n+8613900000003\r\n13900000003") << 3;
    QTest::newRow("international") << QStringLiteral("+447700900123\r\n+447700900124") << 1;
    QTest::newRow("list with ';'") << QStringLiteral("13900000001;13900000002;13900000003") << 2;
    QTest::newRow("range") << QStringLiteral("13566668888-13566668899") << 2;
    QTest::newRow("range and numbers") << QStringLiteral("13566668888-13566668892\r\n13900000001\r\n13900000002") << 2;
    QTest::newRow("customers") << ann + QStringLiteral("\r\n") + bob << 1;
    QTest::newRow("repeated number") << QStringLiteral("13900000001\r\n13900000001") << 2;
    QTest::newRow("after a bar") << QStringLiteral("13900000002\r\n*13900000001\r\n13900000003") << 0;
    QTest::newRow("bad range") << QStringLiteral("13566668899-13566668888") << 0;
    QTest::newRow("more than a message takes") << QStringLiteral("13566600000-13566799999") << 0;
}

void TestComposeOptOut::countsRecipientsOnTheList() {
    QFETCH(QString, recipients);
    QFETCH(int, on_list);
    writeList();
    writeAddressBook();
    set_box_text(box("shoujihao"), recipients);
    tab_->showOptedOut();
    if (on_list == 0) {
        QVERIFY(warning()->isHidden());
    } else {
        QVERIFY(!warning()->isHidden());
        const QString expected = QStringLiteral("其中 %1 个号码已退订，不会发送").arg(on_list);
        QCOMPARE(warning()->text(), expected);
        QCOMPARE(warning()->accessibleName(), expected);
    }
    QCOMPARE(messages_->texts, QStringList());
}

void TestComposeOptOut::countFollowsTypingAndTheList() {
    writeList();
    tab_->show();
    QVERIFY(warning()->isHidden());

    // A pause in typing is enough; no button needed.
    set_box_text(box("shoujihao"), QStringLiteral("13900000001\r\n13900000002"));
    QTRY_VERIFY(!warning()->isHidden());
    QCOMPARE(warning()->text(), QStringLiteral("其中 1 个号码已退订，不会发送"));

    // The list changes behind the tab (a reply "TD" came in): showing the tab counts again.
    QCOMPARE(add_optout("13900000002", "2004-5-6", "TD"), OptOutChange::Done);
    tab_->hide();
    tab_->show();
    QCOMPARE(warning()->text(), QStringLiteral("其中 2 个号码已退订，不会发送"));

    QCOMPARE(remove_optout("13900000001"), OptOutChange::Done);
    QCOMPARE(remove_optout("13900000002"), OptOutChange::Done);
    set_box_text(box("shoujihao"), QStringLiteral("13900000001\r\n13900000002\r\n"));
    QTRY_VERIFY(warning()->isHidden());
}

void TestComposeOptOut::queuedWordNamesTheCount() {
    writeList();
    QSignalSpy queued(tab_.get(), &ComposeTab::queued);
    // Sent at once after typing, before the pause would have counted: the send counts first.
    set_box_text(box("shoujihao"), QStringLiteral("13900000001\r\n13900000002\r\n13566668888-13566668899"));
    set_box_text(box("duanxin"), QStringLiteral("你好"));
    tab_->findChild<QPushButton*>("fasdx")->click();

    QCOMPARE(messages_->texts, QStringList());
    QCOMPARE(queued.count(), 1);
    QCOMPARE(queued.first().first().toString(),
             QStringLiteral("短信已加入发送队列：2004-5-6 第 1 条（其中 3 个号码已退订，不会发送）"));
    QCOMPARE(warning()->text(), QStringLiteral("其中 3 个号码已退订，不会发送"));
    // The record keeps every recipient as typed; leaving out the listed ones is the sender's part.
    const std::string stored = file_bytes("2004-5-6/new/R1");
    for (const char* recipient : {"13900000001", "13900000002", "13566668888-13566668899"}) {
        QVERIFY2(stored.find(recipient) != std::string::npos, recipient);
    }
}

void TestComposeOptOut::withoutAListNothingChanges() {
    writeAddressBook();
    QSignalSpy queued(tab_.get(), &ComposeTab::queued);
    tab_->show();
    set_box_text(box("shoujihao"),
                 QStringLiteral("13900000001\r\n13566668888-13566668899\r\nShop") + QChar(2) + QStringLiteral("Ann"));
    set_box_text(box("duanxin"), QStringLiteral("你好"));
    QTest::qWait(400);
    QVERIFY(warning()->isHidden());
    tab_->findChild<QPushButton*>("fasdx")->click();

    QCOMPARE(messages_->texts, QStringList());
    QCOMPARE(queued.count(), 1);
    QCOMPARE(queued.first().first().toString(), QStringLiteral("短信已加入发送队列：2004-5-6 第 1 条"));
    QVERIFY(warning()->isHidden());
    QVERIFY(!exists(optout_path));
    QVERIFY(!exists("optout.lock"));
}

QTEST_MAIN(TestComposeOptOut)
#include "test_compose_optout.moc"
