#include "console/console_state.h"
#include "console/list_fill.h"
#include "console/list_fill_model.h"
#include "console/pending_tab.h"
#include "console/qt_text.h"
#include "console/support/captured_messages.h"
#include "console/support/scoped_work_dir.h"
#include "console/support/spool_records.h"
#include "platform/gbk.h"
#include "platform/text_file.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <filesystem>
#include <memory>

namespace {

const std::string today = "2004-5-6";

} // namespace

class TestPendingTab : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listsRecordsBetweenCounters_data();
    void listsRecordsBetweenCounters();
    void rowHoldsRecordTexts();
    void missingQueuedCounterKeepsTheOldList();
    void selectionLoadsBoxesAndNumber();
    void englishRecordSavedUnchangedKeepsItsBytes();
    void modifyRewritesRecipientsAndContent();
    void barPutsStarBeforeEditedRecipients();
    void modifyAndBarOnlyActOnPendingRecords_data();
    void modifyAndBarOnlyActOnPendingRecords();
    void failedWriteIsReported_data();
    void failedWriteIsReported();
    void listHasItsColumns();

private:
    QTreeView* list() { return tab_->findChild<QTreeView*>("ListView2"); }
    QPlainTextEdit* box(const char* name) { return tab_->findChild<QPlainTextEdit*>(name); }
    void fill() { QVERIFY(double_click_and_wait(list(), tab_->listFill())); }
    void select(int row) { select_row(list(), row); }
    [[nodiscard]] bool queueFive();

    std::unique_ptr<ScopedWorkDir> dir_;
    std::unique_ptr<CapturedMessages> messages_;
    std::unique_ptr<VirtualClock> clock_;
    std::unique_ptr<ConsoleState> state_;
    std::unique_ptr<PendingTab> tab_;
};

void TestPendingTab::init() {
    dir_ = std::make_unique<ScopedWorkDir>();
    QVERIFY(dir_->valid());
    messages_ = std::make_unique<CapturedMessages>();
    clock_ = std::make_unique<VirtualClock>(LocalTime{2004, 5, 6, 9, 0, 0});
    state_ = std::make_unique<ConsoleState>();
    tab_ = std::make_unique<PendingTab>(*state_, *clock_);
}

void TestPendingTab::cleanup() {
    tab_.reset();
    messages_.reset();
    dir_.reset();
}

// Records 1 to 5 queued today, 1 to 3 processed.
bool TestPendingTab::queueFive() {
    for (int n = 1; n <= 5; ++n) {
        if (!put_record(today, "new", n, "1350000000" + std::to_string(n), "消息" + std::to_string(n),
                        "2004-5-6 8:0" + std::to_string(n) + ":00")) {
            return false;
        }
    }
    return put_counter(today, "new", "5") && put_counter(today, "send", "3");
}

void TestPendingTab::listsRecordsBetweenCounters_data() {
    QTest::addColumn<QString>("queued");    // new/acc; "-" for no file
    QTest::addColumn<QString>("processed"); // send/acc; "-" for no file
    QTest::addColumn<QList<int>>("missing_content");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("records after the processed counter") << "5"
                                                         << "3" << QList<int>{} << QStringList{"4", "5"};
    QTest::newRow("processed equals queued: empty") << "5"
                                                    << "5" << QList<int>{} << QStringList{};
    QTest::newRow("processed beyond queued: empty") << "3"
                                                    << "5" << QList<int>{} << QStringList{};
    QTest::newRow("no processed counter: the whole day") << "3"
                                                         << "-" << QList<int>{} << QStringList{"1", "2", "3"};
    QTest::newRow("processed counter 0") << "2"
                                         << "0" << QList<int>{} << QStringList{"1", "2"};
    QTest::newRow("queued counter 0 lists record 1") << "0"
                                                     << "-" << QList<int>{} << QStringList{"1"};
    QTest::newRow("queued counter garbage lists record 1") << "abc"
                                                           << "-" << QList<int>{} << QStringList{"1"};
    QTest::newRow("missing content file is skipped") << "5"
                                                     << "1" << QList<int>{3} << QStringList{"2", "4", "5"};
    // "000000004" reads as 0 from its first 8 characters, so only record 1 is listed.
    QTest::newRow("counter read from its first 8 characters") << "000000004"
                                                              << "-" << QList<int>{} << QStringList{"1"};
}

void TestPendingTab::listsRecordsBetweenCounters() {
    QFETCH(QString, queued);
    QFETCH(QString, processed);
    QFETCH(QList<int>, missing_content);
    QFETCH(QStringList, listed);

    for (int n = 1; n <= 5; ++n) {
        QVERIFY(put_record(today, "new", n, "13500000000", "text"));
    }
    for (int n : missing_content) {
        QVERIFY(std::filesystem::remove(today + "/new/DA" + std::to_string(n)));
    }
    if (queued != "-") {
        QVERIFY(put_counter(today, "new", queued.toStdString()));
    }
    if (processed != "-") {
        QVERIFY(put_counter(today, "send", processed.toStdString()));
    }

    fill();

    QCOMPARE(listed_records(list()), listed);
    // The running row numbers stay consecutive over skipped records.
    for (int r = 0; r < listed.size(); ++r) {
        QCOMPARE(rows_of(list())->row(r).running, QString::number(r + 1));
    }
}

void TestPendingTab::rowHoldsRecordTexts() {
    QVERIFY(queueFive());
    QVERIFY(put_record(today, "new", 5, "*13500000005\n13500000006", "第二行\n内容", ""));
    QVERIFY(std::filesystem::remove(today + "/new/H5"));
    fill();

    const ListRow& plain = rows_of(list())->row(0);
    QCOMPARE(plain.values(), (QStringList{"1", "4", "13500000004", QStringLiteral("消息4"), "2004-5-6 8:04:00"}));
    // A barred record shows by its leading '*' and carries "禁发" last; no header gives an empty time.
    const ListRow& barred = rows_of(list())->row(1);
    QCOMPARE(barred.values(), (QStringList{"2", "5", "*13500000005\n13500000006", QStringLiteral("第二行\n内容"), "",
                                           QStringLiteral("禁发")}));
    QCOMPARE(rows_of(list())->data(rows_of(list())->index(1, 3)).toString(),
             QStringLiteral("*13500000005 13500000006"));
}

void TestPendingTab::missingQueuedCounterKeepsTheOldList() {
    QVERIFY(queueFive());
    fill();
    QCOMPARE(listed_records(list()), (QStringList{"4", "5"}));

    QVERIFY(std::filesystem::remove(today + "/new/acc"));
    fill();
    QCOMPARE(listed_records(list()), (QStringList{"4", "5"}));

    // A new day has no directory yet: the list still stays as it was.
    clock_->set({2004, 5, 7, 0, 0, 1});
    fill();
    QCOMPARE(listed_records(list()), (QStringList{"4", "5"}));
}

void TestPendingTab::selectionLoadsBoxesAndNumber() {
    QVERIFY(queueFive());
    QVERIFY(put_record(today, "new", 5, "13500000005;\r\n13500000006", "你好\r\n再见"));
    fill();

    select(1);

    QCOMPARE(state_->selectedMessage(), 5);
    QCOMPARE(box_text(box("Memo1")), QStringLiteral("13500000005;\r\n13500000006"));
    QCOMPARE(box_text(box("Memo2")), QStringLiteral("你好\r\n再见"));

    // A record whose recipients file vanished leaves the boxes as they were, but still sets the number.
    QVERIFY(std::filesystem::remove(today + "/new/R4"));
    select(0);
    QCOMPARE(state_->selectedMessage(), 4);
    QCOMPARE(box_text(box("Memo1")), QStringLiteral("13500000005;\r\n13500000006"));
}

void TestPendingTab::englishRecordSavedUnchangedKeepsItsBytes() {
    QVERIFY(queueFive());
    const std::string english = "\x02hello   ";
    QVERIFY(replace_file_atomically(today + "/new/DA4", english));
    fill();
    select(0);

    tab_->findChild<QPushButton*>("changge_dai_BitBtn1")->click();

    QCOMPARE(messages_->texts, QStringList());
    QCOMPARE(file_bytes(today + "/new/DA4"), english);
    QCOMPARE(file_bytes(today + "/new/R4"), std::string("13500000004"));
}

void TestPendingTab::modifyRewritesRecipientsAndContent() {
    QVERIFY(queueFive());
    fill();
    select(0);
    std::string header = file_bytes(today + "/new/H4");

    set_box_text(box("Memo1"), QStringLiteral("13600000001\r\n13600000002"));
    set_box_text(box("Memo2"), QStringLiteral("改过的内容"));
    tab_->findChild<QPushButton*>("changge_dai_BitBtn1")->click();

    QCOMPARE(messages_->texts, QStringList());
    QCOMPARE(file_bytes(today + "/new/R4"), std::string("13600000001\r\r\n13600000002"));
    QCOMPARE(file_bytes(today + "/new/DA4"), gbk("改过的内容"));
    QCOMPARE(file_bytes(today + "/new/H4"), header);
    QCOMPARE(file_bytes(today + "/new/acc"), std::string("5"));
    QCOMPARE(file_bytes(today + "/send/acc"), std::string("3"));
}

void TestPendingTab::barPutsStarBeforeEditedRecipients() {
    QVERIFY(queueFive());
    fill();
    select(1);
    set_box_text(box("Memo1"), QStringLiteral("13700000007"));
    set_box_text(box("Memo2"), QStringLiteral("not saved by bar"));

    tab_->findChild<QPushButton*>("del_dai_BitBtn2")->click();

    QCOMPARE(messages_->texts, QStringList());
    QCOMPARE(file_bytes(today + "/new/R5"), std::string("*13700000007"));
    QCOMPARE(file_bytes(today + "/new/DA5"), gbk("消息5"));
}

void TestPendingTab::modifyAndBarOnlyActOnPendingRecords_data() {
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("said");

    for (const char* button : {"changge_dai_BitBtn1", "del_dai_BitBtn2"}) {
        QString b = QString::fromLatin1(button);
        QTest::addRow("%s, nothing selected", button) << 0 << b << QStringLiteral("请先");
        QTest::addRow("%s, record already processed", button) << 3 << b << QStringLiteral("第3条");
        QTest::addRow("%s, record beyond the queue", button) << 6 << b << QStringLiteral("第6条");
    }
}

void TestPendingTab::modifyAndBarOnlyActOnPendingRecords() {
    QFETCH(int, selected);
    QFETCH(QString, button);
    QFETCH(QString, said);
    QVERIFY(queueFive());
    state_->setSelectedMessage(selected);
    set_box_text(box("Memo1"), QStringLiteral("13900000000"));
    set_box_text(box("Memo2"), QStringLiteral("changed"));

    tab_->findChild<QPushButton*>(button)->click();

    QCOMPARE(messages_->texts.size(), 1);
    QVERIFY2(messages_->texts[0].contains(said), qPrintable(messages_->texts[0]));
    QCOMPARE(file_bytes(today + "/new/R3"), std::string("13500000003"));
    QCOMPARE(file_bytes(today + "/new/DA3"), gbk("消息3"));
    QVERIFY(!std::filesystem::exists(today + "/new/R6"));
    QVERIFY(!std::filesystem::exists(today + "/new/R0"));
}

void TestPendingTab::failedWriteIsReported_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("blocked"); // the record file a directory stands in for
    QTest::addColumn<QString>("said");
    QTest::addColumn<QByteArray>("recipients"); // R4 afterwards; empty when it is the blocked one
    QTest::addColumn<QByteArray>("content");    // DA4 afterwards; empty when it is the blocked one

    QTest::newRow("modify, recipients cannot be written") << "changge_dai_BitBtn1"
                                                          << "R4" << QStringLiteral("第4条短信写入失败，没有修改。")
                                                          << QByteArray() << QByteArray::fromStdString(gbk("消息4"));
    QTest::newRow("modify, content cannot be written")
        << "changge_dai_BitBtn1"
        << "DA4" << QStringLiteral("第4条短信的收信人已经修改，短信内容写入失败，内容没有修改。")
        << QByteArray("13900000000") << QByteArray();
    QTest::newRow("bar, recipients cannot be written") << "del_dai_BitBtn2"
                                                       << "R4" << QStringLiteral("第4条短信写入失败，没有禁止发送。")
                                                       << QByteArray() << QByteArray::fromStdString(gbk("消息4"));
}

void TestPendingTab::failedWriteIsReported() {
    QFETCH(QString, button);
    QFETCH(QString, blocked);
    QFETCH(QString, said);
    QFETCH(QByteArray, recipients);
    QFETCH(QByteArray, content);
    QVERIFY(queueFive());
    fill();
    select(0);
    // A record file is replaced by renaming a new file over it, and no rename puts a file in place of a
    // directory: the write fails, whoever runs the test, root included.
    const std::string blocked_path = today + "/new/" + blocked.toStdString();
    QVERIFY(std::filesystem::remove(blocked_path));
    QVERIFY(std::filesystem::create_directories(blocked_path + "/inside"));
    set_box_text(box("Memo1"), QStringLiteral("13900000000"));
    set_box_text(box("Memo2"), QStringLiteral("changed"));

    tab_->findChild<QPushButton*>(button)->click();

    QCOMPARE(messages_->texts, QStringList{said});
    if (!recipients.isEmpty()) {
        QCOMPARE(QByteArray::fromStdString(file_bytes(today + "/new/R4")), recipients);
    }
    if (!content.isEmpty()) {
        QCOMPARE(QByteArray::fromStdString(file_bytes(today + "/new/DA4")), content);
    }
    QVERIFY(std::filesystem::is_directory(blocked_path + "/inside"));
    // A failed replacement leaves no temporary file behind for the list or the engine to trip over.
    for (const auto& entry : std::filesystem::directory_iterator(today + "/new")) {
        QVERIFY2(entry.path().filename().string().find(".tmp") == std::string::npos, entry.path().c_str());
    }
}

void TestPendingTab::listHasItsColumns() {
    const QStringList headers{QString(),
                              QString(),
                              QStringLiteral("序号"),
                              QStringLiteral("收信人"),
                              QStringLiteral("短信内容  (双击下面空白，获得内容列表)"),
                              QStringLiteral("建立时间")};
    const QList<int> widths{1, 30, 35, 80, 380, 120};
    for (int c = 0; c < headers.size(); ++c) {
        QCOMPARE(rows_of(list())->headerData(c, Qt::Horizontal).toString(), headers[c]);
        QCOMPARE(list()->columnWidth(c), widths[c]);
    }
    QCOMPARE(list()->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(tab_->findChild<QPushButton*>("changge_dai_BitBtn1")->accessibleName(), QStringLiteral("短信修改(U)"));
    QCOMPARE(box("Memo2")->accessibleName(), QStringLiteral("短信内容："));
    QCOMPARE(box("Memo2")->accessibleDescription(), QStringLiteral("Memo2"));
}

QTEST_MAIN(TestPendingTab)
#include "test_pending_tab.moc"
