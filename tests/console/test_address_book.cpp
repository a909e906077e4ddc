#include "console/address_book.h"
#include "console/customer_tab.h"
#include "console/directory_list_fill.h"
#include "console/qt_text.h"
#include "console/support/scoped_work_dir.h"
#include "directory/category_record.h"
#include "platform/gbk.h"
#include "support/temp_dir.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <memory>

class TestAddressBook : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlsCarryTheirNames();
    void treeIsFilledSortedAtStartUp();
    void choosingACategorySetsTheCaptionAndTheCustomers();
    void pickingAppendsATokenOnce();
    void pickingSeveralAtOnceAppendsEach();
    void deletedSemicolonMakesTheTokenNew();
    void sameNameInTwoCategoriesGivesTwoTokens();
    void fullBoxTakesNoMoreTokens();
    void addressBookButtonRefillsInTheBackground();
    void choiceIsSharedWithTheCustomerTab();

private:
    void choose(const QString& category);
    void pick(int row);
    std::string recipients() const { return to_gbk_lossy(box_text(box_)); }

    std::unique_ptr<ScopedWorkDir> dir_;
    std::unique_ptr<CategoryRecord> record_;
    std::unique_ptr<QWidget> compose_;
    QPlainTextEdit* box_ = nullptr;
    AddressBook* book_ = nullptr;
};

void TestAddressBook::init() {
    dir_ = std::make_unique<ScopedWorkDir>();
    QVERIFY(dir_->valid());
    put_file("./cust/custindex",
             "[cust]\r\n000000=222222\r\nShop=Shop\r\n" + gbk("客户") + "=" + gbk("客户") + "\r\nAlpha=Alpha\r\n");
    put_file("./cust/Shop", "[cust]\r\n000000=222222\r\nAnn=13900000001\r\nBob=13900000002\r\n");
    put_file("./cust/客户", "[cust]\r\n000000=222222\r\nAnn=13900000003\r\n" + gbk("张三") + "=139\r\n");
    put_file("./cust/Alpha", "[cust]\r\n000000=222222\r\n");
    record_ = std::make_unique<CategoryRecord>();
    compose_ = std::make_unique<QWidget>();
    box_ = new QPlainTextEdit(compose_.get());
    book_ = new AddressBook(*record_, box_, compose_.get());
    book_->fillTree();
}

void TestAddressBook::cleanup() {
    compose_.reset();
    record_.reset();
    dir_.reset();
}

void TestAddressBook::choose(const QString& category) {
    const QList<QTreeWidgetItem*> found = book_->TreeView2->findItems(category, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    book_->TreeView2->clearSelection();
    found.first()->setSelected(true);
}

void TestAddressBook::pick(int row) {
    book_->ListView6->clearSelection();
    book_->ListView6->topLevelItem(row)->setSelected(true);
}

void TestAddressBook::controlsCarryTheirNames() {
    for (const char* name : {"tongxb", "TreeView2", "ListView6"}) {
        auto* control = book_->findChild<QWidget*>(QString::fromLatin1(name));
        QVERIFY2(control, name);
        QCOMPARE(control->accessibleDescription(), QString::fromLatin1(name));
    }
    QCOMPARE(book_->tongxb->text(), QStringLiteral("通讯簿(&T)"));
    QCOMPARE(book_->ListView6->headerItem()->text(0), QStringLiteral("            联  系  人"));
}

void TestAddressBook::treeIsFilledSortedAtStartUp() {
    QTreeWidget* tree = book_->TreeView2;
    QCOMPARE(tree->topLevelItemCount(), 3);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Alpha"));
    QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("Shop"));
    QCOMPARE(tree->topLevelItem(2)->text(0), QStringLiteral("客户"));
    // The fill leaves its own marker in the index.
    QVERIFY(file_bytes("./cust/custindex").find("000000=fffff") != std::string::npos);
}

void TestAddressBook::choosingACategorySetsTheCaptionAndTheCustomers() {
    choose(QStringLiteral("客户"));
    QCOMPARE(book_->ListView6->headerItem()->text(0), QStringLiteral("客户"));
    QCOMPARE(book_->ListView6->topLevelItemCount(), 2);
    QCOMPARE(book_->ListView6->topLevelItem(0)->text(0), QStringLiteral("Ann"));
    QCOMPARE(book_->ListView6->topLevelItem(1)->text(0), QStringLiteral("张三"));
    QCOMPARE(record_->file, gbk("客户"));
    choose(QStringLiteral("Alpha"));
    QCOMPARE(book_->ListView6->topLevelItemCount(), 0);
}

void TestAddressBook::pickingAppendsATokenOnce() {
    set_box_text(box_, QStringLiteral("13800000000\r\n"));
    choose(QStringLiteral("客户"));
    pick(1);
    const std::string token = gbk("客户") + '\x02' + gbk("张三");
    QCOMPARE(recipients(), "13800000000\r\n" + token + ";");
    pick(0);
    pick(1);
    QCOMPARE(recipients(), "13800000000\r\n" + token + ";" + gbk("客户") + "\x02" + "Ann;");
}

void TestAddressBook::pickingSeveralAtOnceAppendsEach() {
    choose(QStringLiteral("Shop"));
    book_->ListView6->selectAll();
    QCOMPARE(recipients(), std::string("Shop\x02"
                                       "Ann;Shop\x02"
                                       "Bob;"));
}

void TestAddressBook::deletedSemicolonMakesTheTokenNew() {
    choose(QStringLiteral("Shop"));
    pick(0);
    set_box_text(box_, from_gbk(std::string("Shop\x02"
                                            "Ann")));
    pick(1);
    pick(0);
    QCOMPARE(recipients(), std::string("Shop\x02"
                                       "AnnShop\x02"
                                       "Bob;Shop\x02"
                                       "Ann;"));
}

void TestAddressBook::sameNameInTwoCategoriesGivesTwoTokens() {
    choose(QStringLiteral("Shop"));
    pick(0);
    choose(QStringLiteral("客户"));
    pick(0);
    QCOMPARE(recipients(), std::string("Shop\x02"
                                       "Ann;") +
                               gbk("客户") + "\x02" + "Ann;");
}

void TestAddressBook::fullBoxTakesNoMoreTokens() {
    choose(QStringLiteral("Shop"));
    // 1011 bytes: 1009 digits and one line break.
    const QString full = QString(1009, QLatin1Char('1')) + QStringLiteral("\r\n");
    set_box_text(box_, full);
    pick(0);
    QCOMPARE(box_text(box_), full);

    const QString at_limit = QString(1008, QLatin1Char('1')) + QStringLiteral("\r\n");
    set_box_text(box_, at_limit);
    pick(1);
    QCOMPARE(box_text(box_), at_limit + QStringLiteral("Shop\x02") + QStringLiteral("Bob;"));
}

void TestAddressBook::addressBookButtonRefillsInTheBackground() {
    put_file("./cust/custindex", "[cust]\r\n000000=222222\r\nNew=New\r\n");
    QSignalSpy finished(&book_->treeFill(), &DirectoryListFill::finished);
    QTest::mouseClick(book_->tongxb, Qt::LeftButton);
    QVERIFY(finished.wait());
    QCOMPARE(book_->TreeView2->topLevelItemCount(), 1);
    QCOMPARE(book_->TreeView2->topLevelItem(0)->text(0), QStringLiteral("New"));
}

void TestAddressBook::choiceIsSharedWithTheCustomerTab() {
    CustomerTab customers(*record_);
    customers.fillCategoryTree();
    customers.TreeView1->findItems(QStringLiteral("Shop"), Qt::MatchExactly).first()->setSelected(true);
    QCOMPARE(record_->file, std::string("Shop"));
    choose(QStringLiteral("客户"));
    QCOMPARE(record_->file, gbk("客户"));
    // The customer tab's double-click list now shows the category the address book chose.
    QSignalSpy finished(&customers.listFill(), &DirectoryListFill::finished);
    customers.ListView5DblClick();
    QVERIFY(finished.wait());
    QCOMPARE(customers.ListView5->topLevelItem(1)->text(2), QStringLiteral("张三"));
}

QTEST_MAIN(TestAddressBook)
#include "test_address_book.moc"
