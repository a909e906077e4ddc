#include "console/delete_dialog.h"
#include "console/support/captured_messages.h"
#include "console/support/scoped_work_dir.h"
#include "directory/unwritable_files.h"
#include "platform/gbk.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

class TestDeleteDialog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void hasThreeButtonsAndIsModeless();
    void showsCentredOnTheMainWindow();
    void cancelCloses();
    void deletesTheCustomerNamedWhenPressed();
    void missingNameOrCategoryIsReportedAndCloses();
    void deletesTheGroupWithEveryNotesFile();
    void groupWithoutCategoryFileKeepsTheDialogOpen();
    void failedDeletionIsReportedAndKeepsTheDialogOpen_data();
    void failedDeletionIsReportedAndKeepsTheDialogOpen();

private:
    std::unique_ptr<ScopedWorkDir> dir_;
    std::unique_ptr<CapturedMessages> messages_;
    std::unique_ptr<QWidget> window_;
    QLineEdit* category_ = nullptr;
    QLineEdit* name_ = nullptr;
    TForm3* dialog_ = nullptr;
};

void TestDeleteDialog::init() {
    dir_ = std::make_unique<ScopedWorkDir>();
    QVERIFY(dir_->valid());
    messages_ = std::make_unique<CapturedMessages>();
    window_ = std::make_unique<QWidget>();
    window_->setGeometry(200, 150, 757, 495);
    category_ = new QLineEdit(window_.get());
    name_ = new QLineEdit(window_.get());
    dialog_ = new TForm3(category_, name_, window_.get());

    put_file("./cust/custindex", "[cust]\r\n000000=222222\r\nShop=Shop\r\nOther=Other\r\n");
    put_file("./cust/Shop", "[cust]\r\n000000=222222\r\nAnn=139\r\nBob=138\r\n");
    put_file("./cust/Shop_Ann", "a");
    put_file("./cust/Shop_Bob", "b");
    put_file("./cust/Other", "[cust]\r\n000000=222222\r\nAnn=137\r\n");
    put_file("./cust/Other_Ann", "c");
}

void TestDeleteDialog::cleanup() {
    window_.reset();
    messages_.reset();
    dir_.reset();
}

void TestDeleteDialog::hasThreeButtonsAndIsModeless() {
    QCOMPARE(dialog_->windowTitle(), QStringLiteral("删除"));
    QCOMPARE(dialog_->Button1->text(), QStringLiteral("取消"));
    QCOMPARE(dialog_->Button2->text(), QStringLiteral("只删除客户"));
    QCOMPARE(dialog_->Button3->text(), QStringLiteral("删除客户组"));
    QVERIFY(dialog_->Button1->isDefault());
    for (const char* name : {"Button1", "Button2", "Button3"}) {
        auto* button = dialog_->findChild<QPushButton*>(QString::fromLatin1(name));
        QVERIFY2(button, name);
        QCOMPARE(button->accessibleDescription(), QString::fromLatin1(name));
    }

    dialog_->showCentred();
    // Stacked from top to bottom, of one size.
    QCOMPARE(dialog_->Button1->size(), dialog_->Button2->size());
    QCOMPARE(dialog_->Button2->size(), dialog_->Button3->size());
    QVERIFY(dialog_->Button1->y() < dialog_->Button2->y());
    QVERIFY(dialog_->Button2->y() < dialog_->Button3->y());
    QVERIFY(dialog_->isVisible());
    QVERIFY(!dialog_->isModal());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestDeleteDialog::showsCentredOnTheMainWindow() {
    window_->show();
    dialog_->showCentred();
    QPoint dialog_centre = dialog_->frameGeometry().center();
    QPoint window_centre = window_->frameGeometry().center();
    QVERIFY2((dialog_centre - window_centre).manhattanLength() <= 4, "dialog not centred on the main window");
    QVERIFY(qAbs(dialog_->width() - 181) <= 2 && qAbs(dialog_->height() - 141) <= 2);
}

void TestDeleteDialog::cancelCloses() {
    dialog_->showCentred();
    QTest::mouseClick(dialog_->Button1, Qt::LeftButton);
    QVERIFY(!dialog_->isVisible());
    QVERIFY(exists("./cust/Shop_Ann"));
}

void TestDeleteDialog::deletesTheCustomerNamedWhenPressed() {
    category_->setText(QStringLiteral("Shop"));
    name_->setText(QStringLiteral("Bob"));
    dialog_->showCentred();
    // The choice acts on the boxes as they are when it is pressed.
    name_->setText(QStringLiteral("Ann"));
    QTest::mouseClick(dialog_->Button2, Qt::LeftButton);
    QVERIFY(!dialog_->isVisible());
    QVERIFY(messages_->texts.isEmpty());
    QCOMPARE(file_bytes("./cust/Shop"), std::string("[cust]\r\n000000=222222\r\nBob=138\r\n"));
    QVERIFY(!exists("./cust/Shop_Ann"));
    QVERIFY(exists("./cust/Shop_Bob"));
    QVERIFY(exists("./cust/Other_Ann"));
}

void TestDeleteDialog::missingNameOrCategoryIsReportedAndCloses() {
    category_->setText(QStringLiteral("Shop"));
    name_->setText(QStringLiteral("A"));
    dialog_->showCentred();
    dialog_->Button2Click();
    QVERIFY(!dialog_->isVisible());
    category_->setText(QStringLiteral("S"));
    dialog_->showCentred();
    dialog_->Button3Click();
    QVERIFY(!dialog_->isVisible());
    QCOMPARE(messages_->texts, QStringList({QStringLiteral("没有选中客户 !"), QStringLiteral("没有选中客户组!")}));
    QVERIFY(exists("./cust/Shop"));
}

void TestDeleteDialog::deletesTheGroupWithEveryNotesFile() {
    category_->setText(QStringLiteral("Shop"));
    dialog_->showCentred();
    QTest::mouseClick(dialog_->Button3, Qt::LeftButton);
    QVERIFY(!dialog_->isVisible());
    for (const char* gone : {"./cust/Shop", "./cust/Shop_Ann", "./cust/Shop_Bob"}) {
        QVERIFY2(!exists(gone), gone);
    }
    QCOMPARE(file_bytes("./cust/custindex"), std::string("[cust]\r\n000000=222222\r\nOther=Other\r\n"));
    QVERIFY(exists("./cust/Other_Ann"));
}

void TestDeleteDialog::groupWithoutCategoryFileKeepsTheDialogOpen() {
    QVERIFY(QFile::remove(QStringLiteral("./cust/Shop")));
    category_->setText(QStringLiteral("Shop"));
    dialog_->showCentred();
    dialog_->Button3Click();
    QVERIFY(dialog_->isVisible());
    QVERIFY(messages_->texts.isEmpty());
    QCOMPARE(file_bytes("./cust/custindex"), std::string("[cust]\r\n000000=222222\r\nOther=Other\r\n"));
}

void TestDeleteDialog::failedDeletionIsReportedAndKeepsTheDialogOpen_data() {
    QTest::addColumn<QString>("button");
    QTest::newRow("customer") << "Button2";
    QTest::newRow("group") << "Button3";
}

void TestDeleteDialog::failedDeletionIsReportedAndKeepsTheDialogOpen() {
    QFETCH(QString, button);
    // Bob's notes cannot be deleted.
    QVERIFY(block_with_folder("./cust/Shop_Bob"));
    category_->setText(QStringLiteral("Shop"));
    name_->setText(QStringLiteral("Bob"));
    dialog_->showCentred();

    QTest::mouseClick(dialog_->findChild<QPushButton*>(button), Qt::LeftButton);

    QCOMPARE(messages_->texts, QStringList{QStringLiteral("数据写入失败，请检查磁盘空间和文件权限。")});
    QVERIFY(dialog_->isVisible());
    // The category stays in the index, so pressing again finds what is left.
    QVERIFY(file_bytes("./cust/custindex").find("Shop=Shop") != std::string::npos);
}

QTEST_MAIN(TestDeleteDialog)
#include "test_delete_dialog.moc"
