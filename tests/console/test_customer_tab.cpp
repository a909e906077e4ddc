#include "console/customer_tab.h"
#include "console/delete_dialog.h"
#include "console/directory_list_fill.h"
#include "console/limited_text_box.h"
#include "console/qt_text.h"
#include "console/support/captured_messages.h"
#include "console/support/scoped_work_dir.h"
#include "directory/category_record.h"
#include "directory/unwritable_files.h"
#include "platform/gbk.h"
#include "support/temp_dir.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <memory>

class TestCustomerTab : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlsCarryTheirNames();
    void addWritesTheFilesAndRefusesMissingData();
    void treeListsCategoriesAndSelectionFillsTheList();
    void missingNotesDoNotEndTheList();
    void rowSelectionLoadsTheBoxes();
    void modifyBeforeAnyCategoryIsRefused();
    void modifyRenamesTheSelectedCategory();
    void lookUpShowsWhatItFinds();
    void doubleClickFillsTheListInTheBackground();
    void deleteButtonShowsTheDialog();
    void failedWritesAreReported_data();
    void failedWritesAreReported();
    void markerFailuresAreTracedWhileReadsGoOn();

private:
    void add(const QString& category, const QString& name, const QString& phone, const QString& notes = {});
    QTreeWidgetItem* node(const QString& text) const;

    std::unique_ptr<ScopedWorkDir> dir_;
    std::unique_ptr<CapturedMessages> messages_;
    std::unique_ptr<CategoryRecord> record_;
    std::unique_ptr<CustomerTab> tab_;
};

void TestCustomerTab::init() {
    dir_ = std::make_unique<ScopedWorkDir>();
    QVERIFY(dir_->valid());
    messages_ = std::make_unique<CapturedMessages>();
    record_ = std::make_unique<CategoryRecord>();
    tab_ = std::make_unique<CustomerTab>(*record_);
}

void TestCustomerTab::cleanup() {
    tab_.reset();
    record_.reset();
    messages_.reset();
    dir_.reset();
}

void TestCustomerTab::add(const QString& category, const QString& name, const QString& phone, const QString& notes) {
    tab_->Edit8->setText(category);
    tab_->Edit5->setText(name);
    tab_->Edit6->setText(phone);
    set_box_text(tab_->Memo13, notes);
    QTest::mouseClick(tab_->add_kehu_button, Qt::LeftButton);
}

QTreeWidgetItem* TestCustomerTab::node(const QString& text) const {
    const QList<QTreeWidgetItem*> found = tab_->TreeView1->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.first();
}

void TestCustomerTab::controlsCarryTheirNames() {
    for (const char* name : {"TreeView1", "Button11", "ListView5", "Edit5", "Edit6", "Edit8", "Memo13",
                             "add_kehu_button", "ChaXun_BitBtn1", "change_kehu_BitBtn2", "del_keHU_BitBtn4"}) {
        auto* control = tab_->findChild<QWidget*>(QString::fromLatin1(name));
        QVERIFY2(control, name);
        QCOMPARE(control->accessibleDescription(), QString::fromLatin1(name));
    }
    QCOMPARE(tab_->Button11->text(), QStringLiteral(">客户类别列表(&L)<     "));
    QCOMPARE(tab_->ListView5->headerItem()->text(2), QStringLiteral("姓名"));
    QCOMPARE(tab_->ListView5->headerItem()->text(4), QStringLiteral("客户信息  (双击下面空白，获得内容列表)"));
    QCOMPARE(tab_->Edit5->accessibleName(), QStringLiteral("姓名"));
    QCOMPARE(tab_->Edit5->maxLength(), 128);
    QCOMPARE(tab_->Edit6->maxLength(), 128);
}

void TestCustomerTab::addWritesTheFilesAndRefusesMissingData() {
    add(QStringLiteral("客户"), QStringLiteral("采购部"), QStringLiteral("13912345678"), QStringLiteral("一\n二"));
    QVERIFY(messages_->texts.isEmpty());
    QCOMPARE(file_bytes("./cust/custindex"), "[cust]\r\n000000=222222\r\n" + gbk("客户") + "=" + gbk("客户") + "\r\n");
    QCOMPARE(file_bytes("./cust/客户"), "[cust]\r\n000000=222222\r\n" + gbk("采购部") + "=13912345678\r\n");
    QCOMPARE(file_bytes("./cust/客户_采购部"), gbk("一") + "\r\r\n" + gbk("二"));
    QCOMPARE(record_->file, gbk("客户"));

    add(QStringLiteral("客户"), QStringLiteral("A"), QStringLiteral("139"));
    add(QStringLiteral("a/b"), QStringLiteral("??"), QStringLiteral("139"));
    QCOMPARE(messages_->texts, QStringList(2, QStringLiteral("数据不能为空,请检查。")));
}

void TestCustomerTab::treeListsCategoriesAndSelectionFillsTheList() {
    add(QStringLiteral("Shop"), QStringLiteral("Ann"), QStringLiteral("13900000001"), QStringLiteral("first\nline"));
    add(QStringLiteral("Shop"), QStringLiteral("Bob"), QStringLiteral("13900000002"));
    add(QStringLiteral("客户"), QStringLiteral("Cid"), QStringLiteral("13900000003"));
    QTest::mouseClick(tab_->Button11, Qt::LeftButton);
    QCOMPARE(tab_->TreeView1->topLevelItemCount(), 2);
    QCOMPARE(tab_->TreeView1->topLevelItem(0)->text(0), QStringLiteral("Shop"));
    QCOMPARE(tab_->TreeView1->topLevelItem(1)->text(0), QStringLiteral("客户"));

    node(QStringLiteral("Shop"))->setSelected(true);
    QCOMPARE(tab_->Edit8->text(), QStringLiteral("Shop"));
    QCOMPARE(record_->file, std::string("Shop"));
    QCOMPARE(record_->selected_name, std::string("Shop"));
    // The list is filled at once, without waiting for a background read.
    QTreeWidget* list = tab_->ListView5;
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("1"));
    QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("Ann"));
    QCOMPARE(list->topLevelItem(0)->text(3), QStringLiteral("13900000001"));
    QCOMPARE(list->topLevelItem(0)->text(4), QStringLiteral("first line"));
    QCOMPARE(list->topLevelItem(1)->text(2), QStringLiteral("Bob"));
}

void TestCustomerTab::missingNotesDoNotEndTheList() {
    for (const char* name : {"A1", "A2", "A3", "A4", "A5"}) {
        add(QStringLiteral("Shop"), QString::fromLatin1(name), QStringLiteral("139"), QStringLiteral("n"));
    }
    QVERIFY(QFile::remove(QStringLiteral("./cust/Shop_A3")));
    tab_->fillCategoryTree();
    node(QStringLiteral("Shop"))->setSelected(true);
    QTreeWidget* list = tab_->ListView5;
    QCOMPARE(list->topLevelItemCount(), 5);
    QCOMPARE(list->topLevelItem(2)->text(4), QString());
    QCOMPARE(list->topLevelItem(4)->text(2), QStringLiteral("A5"));
    QCOMPARE(list->topLevelItem(4)->text(4), QStringLiteral("n"));
}

void TestCustomerTab::rowSelectionLoadsTheBoxes() {
    add(QStringLiteral("Shop"), QStringLiteral("Ann"), QStringLiteral("13900000001"), QStringLiteral("a\nb"));
    add(QStringLiteral("Shop"), QStringLiteral("Bob"), QStringLiteral("13900000002"), QStringLiteral("bob"));
    tab_->fillCategoryTree();
    node(QStringLiteral("Shop"))->setSelected(true);
    tab_->Edit5->clear();
    tab_->Edit6->clear();
    set_box_text(tab_->Memo13, QString());

    tab_->ListView5->topLevelItem(0)->setSelected(true);
    QCOMPARE(tab_->Edit5->text(), QStringLiteral("Ann"));
    QCOMPARE(tab_->Edit6->text(), QStringLiteral("13900000001"));
    // The notes come back as typed: one line break, not two.
    QCOMPARE(box_text(tab_->Memo13), QStringLiteral("a\r\nb"));

    // A row whose notes file is gone leaves the notes box as it was.
    QVERIFY(QFile::remove(QStringLiteral("./cust/Shop_Bob")));
    tab_->ListView5->topLevelItem(1)->setSelected(true);
    QCOMPARE(tab_->Edit5->text(), QStringLiteral("Bob"));
    QCOMPARE(box_text(tab_->Memo13), QStringLiteral("a\r\nb"));
}

void TestCustomerTab::modifyBeforeAnyCategoryIsRefused() {
    tab_->Edit8->setText(QStringLiteral("Shop"));
    tab_->Edit5->setText(QStringLiteral("Ann"));
    tab_->Edit6->setText(QStringLiteral("139"));
    QTest::mouseClick(tab_->change_kehu_BitBtn2, Qt::LeftButton);
    QCOMPARE(messages_->texts, QStringList{QStringLiteral("数据不能为空,请检查。")});
    QVERIFY(!exists("./cust/_Ann"));
    QCOMPARE(file_bytes("./cust/custindex"), std::string());
}

void TestCustomerTab::modifyRenamesTheSelectedCategory() {
    add(QStringLiteral("Shop"), QStringLiteral("Ann"), QStringLiteral("13900000001"));
    add(QStringLiteral("Other"), QStringLiteral("Bob"), QStringLiteral("13900000002"));
    tab_->fillCategoryTree();
    node(QStringLiteral("Shop"))->setSelected(true);
    tab_->ListView5->topLevelItem(0)->setSelected(true);
    tab_->Edit8->setText(QStringLiteral("Store"));
    tab_->Edit6->setText(QStringLiteral("13900000009"));
    tab_->change_kehu_BitBtn2Click();
    QVERIFY(messages_->texts.isEmpty());

    QTest::mouseClick(tab_->Button11, Qt::LeftButton);
    QCOMPARE(tab_->TreeView1->topLevelItem(0)->text(0), QStringLiteral("Other"));
    QCOMPARE(tab_->TreeView1->topLevelItem(1)->text(0), QStringLiteral("Store"));
    QCOMPARE(file_bytes("./cust/Shop"), std::string("[cust]\r\n000000=222222\r\nAnn=13900000009\r\n"));
    QVERIFY(!exists("./cust/Store"));
}

void TestCustomerTab::lookUpShowsWhatItFinds() {
    add(QStringLiteral("Shop"), QStringLiteral("Ann"), QStringLiteral("13900000001"), QStringLiteral("x\ny"));
    tab_->Edit6->clear();
    set_box_text(tab_->Memo13, QString());
    QTest::mouseClick(tab_->ChaXun_BitBtn1, Qt::LeftButton);
    QCOMPARE(tab_->Edit6->text(), QStringLiteral("13900000001"));
    QCOMPARE(box_text(tab_->Memo13), QStringLiteral("x\r\ny"));

    tab_->Edit5->setText(QStringLiteral("Nobody"));
    tab_->ChaXun_BitBtn1Click();
    QCOMPARE(tab_->Edit6->text(), QStringLiteral("wwwwww"));
    QCOMPARE(box_text(tab_->Memo13), QStringLiteral("无此客户"));

    tab_->Edit8->setText(QStringLiteral("Nowhere"));
    tab_->ChaXun_BitBtn1Click();
    QCOMPARE(box_text(tab_->Memo13), QStringLiteral("无此客户!"));

    tab_->Edit5->setText(QStringLiteral("A"));
    tab_->ChaXun_BitBtn1Click();
    tab_->Edit8->clear();
    tab_->ChaXun_BitBtn1Click();
    QCOMPARE(messages_->texts, QStringList({QStringLiteral("请输入客户姓名!"), QStringLiteral("请输入客户类别!")}));
}

void TestCustomerTab::doubleClickFillsTheListInTheBackground() {
    add(QStringLiteral("Shop"), QStringLiteral("Ann"), QStringLiteral("13900000001"));
    add(QStringLiteral("Shop"), QStringLiteral("Bob"), QStringLiteral("13900000002"));
    QCOMPARE(tab_->ListView5->topLevelItemCount(), 0);
    QSignalSpy finished(&tab_->listFill(), &DirectoryListFill::finished);
    QTest::mouseDClick(tab_->ListView5->viewport(), Qt::LeftButton, {}, QPoint(20, 100));
    QVERIFY(finished.wait());
    QCOMPARE(tab_->ListView5->topLevelItemCount(), 2);
    QCOMPARE(tab_->ListView5->topLevelItem(1)->text(2), QStringLiteral("Bob"));
}

void TestCustomerTab::deleteButtonShowsTheDialog() {
    QWidget window;
    window.setGeometry(100, 100, 757, 495);
    TForm3 dialog(tab_->Edit8, tab_->Edit5, &window);
    tab_->setDeleteDialog(&dialog);
    QVERIFY(!dialog.isVisible());
    QTest::mouseClick(tab_->del_keHU_BitBtn4, Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.isModal());
}

void TestCustomerTab::failedWritesAreReported_data() {
    QTest::addColumn<QString>("blocked"); // the file a folder stands in for
    QTest::addColumn<QString>("button");

    QTest::newRow("add, index unwritable") << "./cust/custindex"
                                           << "add_kehu_button";
    QTest::newRow("add, notes unwritable") << "./cust/Shop_Bob"
                                           << "add_kehu_button";
    QTest::newRow("modify, category file unwritable") << "./cust/Shop"
                                                      << "change_kehu_BitBtn2";
}

void TestCustomerTab::failedWritesAreReported() {
    QFETCH(QString, blocked);
    QFETCH(QString, button);
    add(QStringLiteral("Shop"), QStringLiteral("Ann"), QStringLiteral("13900000001"));
    QVERIFY(messages_->texts.isEmpty());
    QVERIFY(block_with_folder(blocked.toStdString()));
    tab_->Edit5->setText(QStringLiteral("Bob"));

    tab_->findChild<QPushButton*>(button)->click();

    QCOMPARE(messages_->texts, QStringList{QStringLiteral("数据写入失败，请检查磁盘空间和文件权限。")});
}

void TestCustomerTab::markerFailuresAreTracedWhileReadsGoOn() {
    add(QStringLiteral("Shop"), QStringLiteral("Ann"), QStringLiteral("13900000001"), QStringLiteral("notes"));
    add(QStringLiteral("Other"), QStringLiteral("Bob"), QStringLiteral("13900000002"));
    QVERIFY(messages_->texts.isEmpty());
    {
        DiskFull full;
        QVERIFY(full.active());
        QTest::ignoreMessage(QtWarningMsg, "vmsms: the marker entry of ./cust/custindex could not be written");
        QTest::mouseClick(tab_->Button11, Qt::LeftButton);
        QTest::ignoreMessage(QtWarningMsg, "vmsms: the marker entry of ./cust/custindex could not be written");
        tab_->Edit8->setText(QStringLiteral("Shop"));
        tab_->Edit5->setText(QStringLiteral("Ann"));
        QTest::mouseClick(tab_->ChaXun_BitBtn1, Qt::LeftButton);
    }
    QCOMPARE(tab_->TreeView1->topLevelItemCount(), 2);
    QCOMPARE(tab_->Edit6->text(), QStringLiteral("13900000001"));
    QCOMPARE(box_text(tab_->Memo13), QStringLiteral("notes"));
    QVERIFY(messages_->texts.isEmpty());
}

QTEST_MAIN(TestCustomerTab)
#include "test_customer_tab.moc"
