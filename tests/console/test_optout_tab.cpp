#include "console/optout_tab.h"
#include "console/support/captured_messages.h"
#include "console/support/scoped_work_dir.h"
#include "platform/file_lock.h"
#include "platform/gbk.h"
#include "store/optout_list.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <cstring>
#include <memory>

// The opt-out tab: the list shown as the file holds it, numbers added and removed through the list's
// lock, and every refusal told without the file being touched.
class TestOptOutTab : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showsTheListAsTheFileHoldsIt();
    void addedAndRemovedNumbersShowAtOnce();
    void showingTheTabReadsTheListAgain();
    void refusedNumbersWriteNothing_data();
    void refusedNumbersWriteNothing();
    void numbersAlreadyDoneAreTold();
    void heldListIsTold_data();
    void heldListIsTold();
    void unwritableDirectoryIsTold();
    void controlsCarryTheirNames();

private:
    QAbstractItemModel* rows() const { return tab_->ListView7->model(); }
    QString cell(int row, int column) const { return rows()->index(row, column).data().toString(); }
    QStringList shownNumbers() const;
    void choose(const QString& number);
    void add(const QString& typed);

    std::unique_ptr<ScopedWorkDir> dir_;
    std::unique_ptr<CapturedMessages> messages_;
    std::unique_ptr<VirtualClock> clock_;
    std::unique_ptr<OptOutTab> tab_;
};

void TestOptOutTab::init() {
    dir_ = std::make_unique<ScopedWorkDir>();
    QVERIFY(dir_->valid());
    messages_ = std::make_unique<CapturedMessages>();
    clock_ = std::make_unique<VirtualClock>(LocalTime{2004, 5, 6, 14, 5, 9});
    tab_ = std::make_unique<OptOutTab>(*clock_);
    tab_->setLockTimeout(100);
}

void TestOptOutTab::cleanup() {
    tab_.reset();
    messages_.reset();
    dir_.reset();
}

QStringList TestOptOutTab::shownNumbers() const {
    QStringList numbers;
    for (int row = 0; row < rows()->rowCount(); ++row) {
        numbers.append(cell(row, 0));
    }
    return numbers;
}

void TestOptOutTab::choose(const QString& number) {
    int row = static_cast<int>(shownNumbers().indexOf(number));
    QVERIFY2(row >= 0, qPrintable(number));
    tab_->ListView7->setCurrentIndex(rows()->index(row, 0));
}

void TestOptOutTab::add(const QString& typed) {
    tab_->Edit15->setText(typed);
    tab_->Button14->click();
}

void TestOptOutTab::showsTheListAsTheFileHoldsIt() {
    put_file(optout_path, "+8613900000001 2004-5-1 TD\r\n+8613900000002 2004-5-3 " + gbk("退订") +
                              "\r\nno number here\r\n+447700900123 2004-5-4 manual\r\n");
    tab_->show();

    QCOMPARE(rows()->rowCount(), 3);
    QCOMPARE(rows()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("号码"));
    QCOMPARE(cell(0, 0), QStringLiteral("+8613900000001"));
    QCOMPARE(cell(1, 1), QStringLiteral("2004-5-3"));
    QCOMPARE(cell(1, 2), QStringLiteral("退订"));
    QCOMPARE(cell(2, 0), QStringLiteral("+447700900123"));
    QCOMPARE(cell(2, 2), QStringLiteral("manual"));
    QVERIFY2(tab_->Label36->text().contains(QStringLiteral("共 3 个号码")), qPrintable(tab_->Label36->text()));
    QVERIFY2(tab_->Label36->text().contains(QStringLiteral("1 行无法识别")), qPrintable(tab_->Label36->text()));
    QCOMPARE(tab_->Label36->accessibleName(), tab_->Label36->text());
    QCOMPARE(messages_->texts, QStringList());
}

void TestOptOutTab::addedAndRemovedNumbersShowAtOnce() {
    tab_->show();
    QCOMPARE(rows()->rowCount(), 0);

    add(QStringLiteral(" 13900000001 "));
    add(QStringLiteral("+447700900123"));
    QCOMPARE(messages_->texts, QStringList());
    QCOMPARE(tab_->Edit15->text(), QString());
    QCOMPARE(shownNumbers(), QStringList({"+8613900000001", "+447700900123"}));
    QCOMPARE(cell(0, 1), QStringLiteral("2004-5-6"));
    QCOMPARE(cell(0, 2), QStringLiteral("manual"));
    std::optional<OptOutList> stored = read_optout_list();
    QVERIFY(stored);
    QVERIFY(stored->holds("13900000001", "86"));
    QCOMPARE(stored->entries.size(), std::size_t(2));

    choose(QStringLiteral("+8613900000001"));
    tab_->Button15->click();
    QCOMPARE(messages_->texts, QStringList());
    QCOMPARE(shownNumbers(), QStringList({"+447700900123"}));
    stored = read_optout_list();
    QVERIFY(stored);
    QVERIFY(!stored->holds("13900000001", "86"));
    QVERIFY(stored->holds("+447700900123", "86"));

    // The Delete key on the list does what the button does.
    choose(QStringLiteral("+447700900123"));
    QTest::keyClick(tab_->ListView7, Qt::Key_Delete);
    QCOMPARE(rows()->rowCount(), 0);
    QCOMPARE(messages_->texts, QStringList());
}

void TestOptOutTab::showingTheTabReadsTheListAgain() {
    tab_->show();
    QCOMPARE(rows()->rowCount(), 0);
    // Another writer (the engine, a reply "TD") changes the list while the tab is in the background.
    tab_->hide();
    QCOMPARE(add_optout("13900000009", "2004-5-6", "TD"), OptOutChange::Done);
    tab_->show();
    QCOMPARE(shownNumbers(), QStringList({"+8613900000009"}));
}

void TestOptOutTab::refusedNumbersWriteNothing_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("told");
    const QString not_a_number = QStringLiteral("不是电话号码");
    QTest::newRow("empty") << QString() << QStringLiteral("请输入要加入退订名单的号码");
    QTest::newRow("blanks only") << QStringLiteral("   ") << QStringLiteral("请输入要加入退订名单的号码");
    QTest::newRow("letters") << QStringLiteral("TD") << not_a_number;
    QTest::newRow("blank inside") << QStringLiteral("139 0000 0001") << not_a_number;
    QTest::newRow("plus alone") << QStringLiteral("+") << not_a_number;
    QTest::newRow("sixteen digits") << QStringLiteral("+1234567890123456") << not_a_number;
    QTest::newRow("two numbers") << QStringLiteral("13900000001;13900000002") << not_a_number;
    QTest::newRow("range") << QStringLiteral("13566668888-13566669999") << not_a_number;
    QTest::newRow("wide digits") << QStringLiteral("１３９００００００01") << not_a_number;
    QTest::newRow("path") << QStringLiteral("../optout.txt") << not_a_number;
}

void TestOptOutTab::refusedNumbersWriteNothing() {
    QFETCH(QString, typed);
    QFETCH(QString, told);
    tab_->show();
    add(typed);
    QCOMPARE(messages_->texts.size(), 1);
    QVERIFY2(messages_->texts.first().contains(told), qPrintable(messages_->texts.first()));
    QVERIFY(!exists(optout_path));
    QCOMPARE(rows()->rowCount(), 0);
    // The box keeps what was typed, so it can be corrected.
    QCOMPARE(tab_->Edit15->text(), typed);
}

void TestOptOutTab::numbersAlreadyDoneAreTold() {
    put_file(optout_path, "+8613900000001 2004-5-1 TD\r\n+8613900000002 2004-5-1 TD\r\n");
    tab_->show();
    const std::string before = file_bytes(optout_path);

    // The same number in another spelling is the same number.
    add(QStringLiteral("8613900000001"));
    QCOMPARE(messages_->texts.size(), 1);
    QVERIFY2(messages_->texts.first().contains(QStringLiteral("已在退订名单中")), qPrintable(messages_->texts.first()));
    QCOMPARE(file_bytes(optout_path), before);

    // Someone else took the chosen number off the list since it was read: the tab says so and shows
    // the list as it now is.
    choose(QStringLiteral("+8613900000002"));
    QCOMPARE(remove_optout("13900000002"), OptOutChange::Done);
    tab_->Button15->click();
    QCOMPARE(messages_->texts.size(), 2);
    QVERIFY2(messages_->texts.last().contains(QStringLiteral("已不在退订名单中")), qPrintable(messages_->texts.last()));
    QCOMPARE(shownNumbers(), QStringList({"+8613900000001"}));

    // Delete with nothing chosen.
    tab_->ListView7->clearSelection();
    tab_->Button15->click();
    QCOMPARE(messages_->texts.size(), 3);
    QVERIFY2(messages_->texts.last().contains(QStringLiteral("请先在名单中选中")), qPrintable(messages_->texts.last()));
    QCOMPARE(shownNumbers(), QStringList({"+8613900000001"}));
}

void TestOptOutTab::heldListIsTold_data() {
    QTest::addColumn<bool>("adding");
    QTest::newRow("add") << true;
    QTest::newRow("remove") << false;
}

void TestOptOutTab::heldListIsTold() {
    QFETCH(bool, adding);
    put_file(optout_path, "+8613900000001 2004-5-1 TD\r\n");
    tab_->show();
    const std::string before = file_bytes(optout_path);
    {
        FileLock held(optout_lock_path);
        QVERIFY(held.locked());
        if (adding) {
            add(QStringLiteral("13900000002"));
        } else {
            choose(QStringLiteral("+8613900000001"));
            tab_->Button15->click();
        }
    }
    QCOMPARE(messages_->texts.size(), 1);
    const QString told = messages_->texts.first();
    QVERIFY2(told.contains(QStringLiteral("没有修改")) && told.contains(QStringLiteral("optout.lock")),
             qPrintable(told));
    QCOMPARE(file_bytes(optout_path), before);
    QCOMPARE(shownNumbers(), QStringList({"+8613900000001"}));
    if (adding) {
        QCOMPARE(tab_->Edit15->text(), QStringLiteral("13900000002"));
    }
}

void TestOptOutTab::unwritableDirectoryIsTold() {
    // A directory taken away under the console: nothing can be created in it, not even by root.
    tab_->show();
    QVERIFY(QDir().rmdir(dir_->path()));
    add(QStringLiteral("13900000002"));
    QCOMPARE(messages_->texts.size(), 1);
    const QString told = messages_->texts.first();
    QVERIFY2(told.contains(QStringLiteral("没有修改")) && told.contains(QString::fromLocal8Bit(std::strerror(ENOENT))),
             qPrintable(told));
    QCOMPARE(rows()->rowCount(), 0);
}

void TestOptOutTab::controlsCarryTheirNames() {
    const QList<std::pair<QWidget*, QString>> named = {
        {tab_->ListView7, QStringLiteral("退订名单")},
        {tab_->Edit15, QStringLiteral("号码：")},
        {tab_->Button14, QStringLiteral("添加(A)")},
        {tab_->Button15, QStringLiteral("删除(D)")},
    };
    for (const auto& [control, caption] : named) {
        QCOMPARE(control->accessibleName(), caption);
        QCOMPARE(control->accessibleDescription(), control->objectName());
        QVERIFY(control->focusPolicy() & Qt::TabFocus);
    }
    QCOMPARE(tab_->Label35->buddy(), static_cast<QWidget*>(tab_->Edit15));
    QVERIFY(tab_->ListView7->editTriggers() == QAbstractItemView::NoEditTriggers);

    // Enter in the box adds, as the button does.
    tab_->show();
    tab_->Edit15->setText(QStringLiteral("13900000003"));
    QTest::keyClick(tab_->Edit15, Qt::Key_Return);
    QCOMPARE(shownNumbers(), QStringList({"+8613900000003"}));
}

QTEST_MAIN(TestOptOutTab)
#include "test_optout_tab.moc"
