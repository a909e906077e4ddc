#include "console/console_state.h"
#include "console/history_tab.h"
#include "console/list_fill.h"
#include "console/list_fill_model.h"
#include "console/pending_tab.h"
#include "console/qt_text.h"
#include "console/support/captured_messages.h"
#include "console/support/scoped_work_dir.h"
#include "console/support/spool_records.h"
#include "platform/gbk.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <filesystem>
#include <memory>

namespace {

const std::string today = "2004-5-6";

struct TabNames {
    const char* list;
    const char* date;
    const char* previous;
    const char* next;
    const char* from;
    const char* text;
};
const TabNames sent_names{"ListView3", "nian_Edit7", "Button5", "Button6", "Memo3", "Memo4"};
const TabNames received_names{"ListView4", "Edit4", "Button3", "Button4", "Memo5", "Memo6"};

} // namespace

class TestHistoryTab : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void dayButtons_data();
    void dayButtons();
    void fillsSkipOrStopAtGaps_data();
    void fillsSkipOrStopAtGaps();
    void firstFillShowsTodayAndNamesIt();
    void dateBoxChoosesTheDay();
    void dayWithoutCounterEmptiesTheList();
    void sentSelectionLoadsRecordFiles();
    void sentSelectionDrivesPendingModify();
    void receivedSelectionReadsTheRowOnly();
    void controlsCarryTheirNames();
    void deliveryColumnTellsWhatTheReportsSaid();

private:
    HistoryTab* tab(bool sent) { return sent ? static_cast<HistoryTab*>(sent_.get()) : received_.get(); }
    template <class T> T* child(bool sent, const char* name) { return tab(sent)->findChild<T*>(name); }
    bool fill(bool sent) {
        return double_click_and_wait(child<QTreeView>(sent, (sent ? sent_names : received_names).list),
                                     tab(sent)->listFill());
    }
    void select(bool sent, int row);

    std::unique_ptr<ScopedWorkDir> dir_;
    std::unique_ptr<CapturedMessages> messages_;
    std::unique_ptr<VirtualClock> clock_;
    std::unique_ptr<ConsoleState> state_;
    std::unique_ptr<SentTab> sent_;
    std::unique_ptr<ReceivedTab> received_;
};

void TestHistoryTab::init() {
    dir_ = std::make_unique<ScopedWorkDir>();
    QVERIFY(dir_->valid());
    messages_ = std::make_unique<CapturedMessages>();
    clock_ = std::make_unique<VirtualClock>(LocalTime{2004, 5, 6, 9, 0, 0});
    state_ = std::make_unique<ConsoleState>();
    sent_ = std::make_unique<SentTab>(*state_, *clock_);
    received_ = std::make_unique<ReceivedTab>(*state_, *clock_);
}

void TestHistoryTab::cleanup() {
    sent_.reset();
    received_.reset();
    messages_.reset();
    dir_.reset();
}

void TestHistoryTab::select(bool sent, int row) {
    select_row(child<QTreeView>(sent, (sent ? sent_names : received_names).list), row);
}

void TestHistoryTab::dayButtons_data() {
    QTest::addColumn<bool>("forward");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");

    QTest::newRow("back into February of a leap year") << false << "2004-3-1"
                                                       << "2004-2-29";
    QTest::newRow("back into February of a common year") << false << "2005-3-1"
                                                         << "2005-2-29";
    QTest::newRow("back over the year") << false << "2004-1-1"
                                        << "2003-12-31";
    QTest::newRow("back into a 30-day month") << false << "2004-5-1"
                                              << "2004-4-30";
    QTest::newRow("back into a 31-day month") << false << "2004-8-1"
                                              << "2004-7-31";
    QTest::newRow("back within the month") << false << "2004-5-6"
                                           << "2004-5-5";
    QTest::newRow("back from an empty box") << false << ""
                                            << "2004-5-6";
    QTest::newRow("back from text that is no date") << false << "abc"
                                                    << "2004-5-6";
    QTest::newRow("back to a year below 1000") << false << "999-1-2"
                                               << "2004-5-6";
    QTest::newRow("back from a year alone reads the year for every part") << false << "2004"
                                                                          << "2004-2004-2003";
    QTest::newRow("forward to 29 February of a leap year") << true << "2004-2-28"
                                                           << "2004-2-29";
    QTest::newRow("forward to 29 February of a common year") << true << "2005-2-28"
                                                             << "2005-2-29";
    QTest::newRow("forward from 29 February") << true << "2004-2-29"
                                              << "2004-3-1";
    QTest::newRow("forward over the year") << true << "2004-12-31"
                                           << "2005-1-1";
    QTest::newRow("forward out of a 30-day month") << true << "2004-4-30"
                                                   << "2004-5-1";
    QTest::newRow("forward out of a 31-day month") << true << "2004-1-31"
                                                   << "2004-2-1";
    QTest::newRow("forward within a 31-day month") << true << "2004-5-30"
                                                   << "2004-5-31";
    QTest::newRow("forward from an empty box") << true << ""
                                               << "2004-5-6";
}

void TestHistoryTab::dayButtons() {
    QFETCH(bool, forward);
    QFETCH(QString, from);
    QFETCH(QString, to);

    for (bool sent : {true, false}) {
        const TabNames& names = sent ? sent_names : received_names;
        auto* box = child<QLineEdit>(sent, names.date);
        box->setText(from);
        child<QPushButton>(sent, forward ? names.next : names.previous)->click();
        QCOMPARE(box->text(), to);
    }
}

void TestHistoryTab::fillsSkipOrStopAtGaps_data() {
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QString>("counter"); // "-" for no counter file
    QTest::addColumn<QStringList>("listed");

    // Records 1, 2 and 4 exist; 3 has no content file.
    QTest::newRow("sent: a gap is skipped") << true << "4" << QStringList{"1", "2", "4"};
    QTest::newRow("received: a gap ends the list") << false << "4" << QStringList{"1", "2"};
    QTest::newRow("sent: counter 0 lists nothing") << true << "0" << QStringList{};
    QTest::newRow("received: counter 0 tries record 1") << false << "0" << QStringList{"1"};
    QTest::newRow("sent: no counter lists nothing") << true << "-" << QStringList{};
    QTest::newRow("received: no counter lists nothing") << false << "-" << QStringList{};
    QTest::newRow("sent: only up to the counter") << true << "2" << QStringList{"1", "2"};
}

void TestHistoryTab::fillsSkipOrStopAtGaps() {
    QFETCH(bool, sent);
    QFETCH(QString, counter);
    QFETCH(QStringList, listed);
    const std::string dir = sent ? "new" : "recv";
    for (int n : {1, 2, 4}) {
        QVERIFY(put_record(today, dir, n, "1350000000" + std::to_string(n), "text " + std::to_string(n)));
    }
    if (counter != "-") {
        QVERIFY(put_counter(today, sent ? "send" : "recv", counter.toStdString()));
    }
    QVERIFY(put_counter(today, "new", "9")); // never read by either history list

    QVERIFY(fill(sent));

    auto* view = child<QTreeView>(sent, (sent ? sent_names : received_names).list);
    QCOMPARE(listed_records(view), listed);
    for (int r = 0; r < listed.size(); ++r) {
        QCOMPARE(rows_of(view)->row(r).running, QString::number(r + 1));
    }
}

void TestHistoryTab::firstFillShowsTodayAndNamesIt() {
    QVERIFY(put_record(today, "recv", 1, "13500000001", "hello", "2004-5-6 8:30:00"));
    QVERIFY(put_counter(today, "recv", "1"));
    auto* sentBox = child<QLineEdit>(true, "nian_Edit7");
    auto* receivedBox = child<QLineEdit>(false, "Edit4");

    QVERIFY(fill(true));
    QVERIFY(fill(false));

    // The sent list found nothing, so its box stays empty; the received list names the day it shows.
    QCOMPARE(sentBox->text(), QString());
    QCOMPARE(receivedBox->text(), QStringLiteral("2004-5-6"));
    auto* view = child<QTreeView>(false, "ListView4");
    QCOMPARE(rows_of(view)->row(0).values(), (QStringList{"1", "1", "13500000001", "hello", "2004-5-6 8:30:00"}));
}

void TestHistoryTab::dateBoxChoosesTheDay() {
    QVERIFY(put_record("2004-5-5", "new", 1, "13500000001", "yesterday"));
    QVERIFY(put_counter("2004-5-5", "send", "1"));
    QVERIFY(put_record(today, "new", 1, "13500000002", "today"));
    QVERIFY(put_counter(today, "send", "1"));
    auto* box = child<QLineEdit>(true, "nian_Edit7");
    auto* view = child<QTreeView>(true, "ListView3");

    box->setText("2004-5-5");
    QVERIFY(fill(true));
    QCOMPARE(rows_of(view)->row(0).content, QStringLiteral("yesterday"));

    // One character is not a day: today is listed instead.
    box->setText("x");
    QVERIFY(fill(true));
    QCOMPARE(rows_of(view)->row(0).content, QStringLiteral("today"));
    QCOMPARE(box->text(), QStringLiteral("2004-5-6"));
}

void TestHistoryTab::dayWithoutCounterEmptiesTheList() {
    QVERIFY(put_record(today, "new", 1, "13500000001", "today"));
    QVERIFY(put_counter(today, "send", "1"));
    QVERIFY(fill(true));
    QCOMPARE(listed_records(child<QTreeView>(true, "ListView3")), QStringList{"1"});

    child<QPushButton>(true, "Button6")->click();
    QVERIFY(fill(true));

    QCOMPARE(listed_records(child<QTreeView>(true, "ListView3")), QStringList{});
    QCOMPARE(child<QLineEdit>(true, "nian_Edit7")->text(), QStringLiteral("2004-5-7"));
}

void TestHistoryTab::sentSelectionLoadsRecordFiles() {
    QVERIFY(put_record("2004-5-5", "new", 1, "*13500000001\n13500000002", "第一行\n第二行"));
    QVERIFY(put_record("2004-5-5", "new", 2, "13500000003", "two"));
    QVERIFY(put_counter("2004-5-5", "send", "2"));
    child<QLineEdit>(true, "nian_Edit7")->setText("2004-5-5");
    QVERIFY(fill(true));

    select(true, 0);

    QCOMPARE(state_->selectedMessage(), 1);
    QCOMPARE(box_text(child<QPlainTextEdit>(true, "Memo3")), QStringLiteral("*13500000001\r\n13500000002"));
    QCOMPARE(box_text(child<QPlainTextEdit>(true, "Memo4")), QStringLiteral("第一行\r\n第二行"));
    QCOMPARE(rows_of(child<QTreeView>(true, "ListView3"))->row(0).values().last(), QStringLiteral("禁发"));
}

// The column shows only while delivery reports are on, and counts recipients by their worst part.
void TestHistoryTab::deliveryColumnTellsWhatTheReportsSaid() {
    QVERIFY(put_record(today, "new", 1, "13500000001\n13500000002\n13500000003", "hi"));
    QVERIFY(put_record(today, "new", 2, "13500000004", "no reports"));
    QVERIFY(put_counter(today, "send", "2"));
    // Recipient 0 delivered; recipient 1's second part failed; recipient 2 still pending.
    put_file(today + "/send/dlvr", "1 0 1 delivered\n1 1 1 delivered\n1 1 2 failed\n1 2 1 pending\n");
    auto* list = child<QTreeView>(true, "ListView3");
    QVERIFY(list->isColumnHidden(6));
    sent_->showDeliveryColumn(true);
    QVERIFY(!list->isColumnHidden(6));
    QVERIFY(fill(true));
    ListRowsModel* rows = rows_of(list);
    QCOMPARE(rows->headerData(6, Qt::Horizontal).toString(), QStringLiteral("送达情况"));
    QCOMPARE(rows->data(rows->index(0, 6)).toString(), QStringLiteral("送达1 失败1 未决1"));
    QCOMPARE(rows->data(rows->index(1, 6)).toString(), QString());
}

void TestHistoryTab::sentSelectionDrivesPendingModify() {
    // Yesterday's record 4 was sent; today's record 4 is still pending.
    QVERIFY(put_record("2004-5-5", "new", 4, "13500000001", "old"));
    QVERIFY(put_counter("2004-5-5", "send", "4"));
    for (int n = 1; n <= 4; ++n) {
        QVERIFY(put_record(today, "new", n, "13600000000", "new"));
    }
    QVERIFY(put_counter(today, "new", "4"));
    QVERIFY(put_counter(today, "send", "3"));
    PendingTab pending(*state_, *clock_);
    child<QLineEdit>(true, "nian_Edit7")->setText("2004-5-5");
    QVERIFY(fill(true));
    select(true, 0);
    QCOMPARE(state_->selectedMessage(), 4);

    set_box_text(pending.findChild<QPlainTextEdit*>("Memo1"), QStringLiteral("13700000000"));
    set_box_text(pending.findChild<QPlainTextEdit*>("Memo2"), QStringLiteral("edited"));
    pending.findChild<QPushButton*>("changge_dai_BitBtn1")->click();

    QCOMPARE(messages_->texts, QStringList());
    QCOMPARE(file_bytes(today + "/new/R4"), std::string("13700000000"));
    QCOMPARE(file_bytes("2004-5-5/new/R4"), std::string("13500000001"));
}

void TestHistoryTab::receivedSelectionReadsTheRowOnly() {
    QVERIFY(put_record(today, "recv", 1, "13500000001", "第一行\n第二行"));
    QVERIFY(put_counter(today, "recv", "1"));
    QVERIFY(fill(false));
    QVERIFY(std::filesystem::remove_all(today) > 0);
    state_->setSelectedMessage(7);

    select(false, 0);

    QCOMPARE(box_text(child<QPlainTextEdit>(false, "Memo5")), QStringLiteral("13500000001"));
    QCOMPARE(box_text(child<QPlainTextEdit>(false, "Memo6")), QStringLiteral("第一行"));
    QCOMPARE(state_->selectedMessage(), 7);
}

void TestHistoryTab::controlsCarryTheirNames() {
    struct Expected {
        bool sent;
        const char* name;
        const char* accessible;
    };
    const Expected expected[] = {
        {true, "ListView3", "已发送sms"},    {true, "nian_Edit7", "日期："},  {true, "Button5", "上一工作日(U)"},
        {true, "Button6", "下一工作日(D)"},  {true, "Memo3", "收  信  人："}, {true, "Memo4", "短信 内容："},
        {false, "ListView4", "已接收sms"},   {false, "Edit4", "日期："},      {false, "Button3", "上一工作日(U)"},
        {false, "Button4", "下一工作日(D)"}, {false, "Memo5", "收 信 人："},  {false, "Memo6", "短信内容："},
    };
    for (const Expected& e : expected) {
        auto* control = child<QWidget>(e.sent, e.name);
        QVERIFY2(control, e.name);
        QCOMPARE(control->accessibleName(), QString::fromUtf8(e.accessible));
        QCOMPARE(control->accessibleDescription(), QString::fromLatin1(e.name));
    }
    auto* sentModel = rows_of(child<QTreeView>(true, "ListView3"));
    auto* receivedModel = rows_of(child<QTreeView>(false, "ListView4"));
    QCOMPARE(sentModel->headerData(5, Qt::Horizontal).toString(), QStringLiteral("发送时间"));
    QCOMPARE(receivedModel->headerData(1, Qt::Horizontal).toString(), QStringLiteral("信息内容"));
    QCOMPARE(receivedModel->headerData(3, Qt::Horizontal).toString(), QStringLiteral("发信人"));
    QCOMPARE(child<QTreeView>(true, "ListView3")->columnWidth(4), 380);
    QCOMPARE(child<QTreeView>(false, "ListView4")->columnWidth(4), 400);
    // The time column holds a whole date and time.
    QCOMPARE(child<QTreeView>(true, "ListView3")->columnWidth(5), 135);
    QCOMPARE(child<QTreeView>(false, "ListView4")->columnWidth(5), 135);
    QCOMPARE(child<QLineEdit>(true, "nian_Edit7")->maxLength(), 1023);
}

QTEST_MAIN(TestHistoryTab)
#include "test_history_tab.moc"
