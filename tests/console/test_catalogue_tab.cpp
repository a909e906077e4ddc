#include "console/catalogue_tab.h"
#include "console/directory_list_fill.h"
#include "console/limited_text_box.h"
#include "console/qt_text.h"
#include "console/support/captured_messages.h"
#include "console/support/scoped_work_dir.h"
#include "directory/unwritable_files.h"
#include "engine/engine_options.h"
#include "platform/gbk.h"
#include "support/temp_dir.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <memory>

class TestCatalogueTab : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlsCarryTheirNames();
    void addStoresOnceAndCounts();
    void tooLongTextsAreRefusedWithTheirMessages();
    void lookUpFillsTheReplyBox();
    void deleteClickRunsOncePerPress();
    void tabbingOntoDeleteDeletes();
    void doubleClickListsAndSelectionLoadsTheBoxes();
    void newListFillReplacesTheRows();
    void membersOnlyFollowsTheCheckBox();
    void memberManagementOpensTheMembersFile();
    void memberManagementWithoutEditorShowsTheMessage();
    void failedWritesAreReported_data();
    void failedWritesAreReported();
    void lookUpWithoutItsMarkerAnswersAndTraces();

private:
    void fillList();

    std::unique_ptr<ScopedWorkDir> dir_;
    std::unique_ptr<CapturedMessages> messages_;
    std::unique_ptr<EngineOptions> options_;
    std::unique_ptr<CatalogueTab> tab_;
};

void TestCatalogueTab::init() {
    dir_ = std::make_unique<ScopedWorkDir>();
    QVERIFY(dir_->valid());
    messages_ = std::make_unique<CapturedMessages>();
    options_ = std::make_unique<EngineOptions>();
    tab_ = std::make_unique<CatalogueTab>(*options_);
}

void TestCatalogueTab::cleanup() {
    tab_.reset();
    options_.reset();
    messages_.reset();
    dir_.reset();
}

void TestCatalogueTab::fillList() {
    QSignalSpy finished(&tab_->listFill(), &DirectoryListFill::finished);
    QTest::mouseDClick(tab_->ListView1->viewport(), Qt::LeftButton, {}, QPoint(20, 150));
    QVERIFY(finished.wait());
}

void TestCatalogueTab::controlsCarryTheirNames() {
    for (const char* name : {"ListView1", "Edit7", "Memo8", "add_dianbo", "ChaXun_DianBoBitBtn1", "change_diaobo",
                             "del_dianbao", "CheckBox3", "Button12"}) {
        auto* control = tab_->findChild<QWidget*>(QString::fromLatin1(name));
        QVERIFY2(control, name);
        QCOMPARE(control->accessibleDescription(), QString::fromLatin1(name));
    }
    QCOMPARE(tab_->del_dianbao->text(), QStringLiteral("删除(&D)"));
    QCOMPARE(tab_->CheckBox3->text(), QStringLiteral("只有会员才回复               "));
    QCOMPARE(tab_->Button12->text(), QStringLiteral("会员管理(&H)"));
    QCOMPARE(tab_->ListView1->headerItem()->text(3), QStringLiteral("信息内容  (双击下面空白，获得内容列表)"));
    QCOMPARE(tab_->ListView1->columnWidth(0), 1);
    QCOMPARE(tab_->Edit7->maxLength(), 128);
    QVERIFY(!tab_->CheckBox3->isChecked());
}

void TestCatalogueTab::addStoresOnceAndCounts() {
    tab_->Edit7->setText(QStringLiteral("11"));
    set_box_text(tab_->Memo8, QStringLiteral("第一行\r\n第二行"));
    QTest::mouseClick(tab_->add_dianbo, Qt::LeftButton);
    QCOMPARE(file_bytes("./query/query"), "[query]\r\n000000=222222\r\n11=" + gbk("第一行  第二行") + "\r\n");
    QCOMPARE(file_bytes("./query/acc"), std::string("1"));

    set_box_text(tab_->Memo8, QStringLiteral("other"));
    QTest::mouseClick(tab_->add_dianbo, Qt::LeftButton);
    QCOMPARE(file_bytes("./query/acc"), std::string("1"));
    QVERIFY(messages_->texts.isEmpty());
}

void TestCatalogueTab::tooLongTextsAreRefusedWithTheirMessages() {
    tab_->Edit7->setText(QStringLiteral("11"));
    set_box_text(tab_->Memo8, QString(63, QChar(u'长')) + QStringLiteral("\r\n"));
    tab_->add_dianboClick();
    tab_->change_diaoboClick();
    QCOMPARE(messages_->texts,
             QStringList({QStringLiteral("收信内容不能太多！"), QStringLiteral("收信内容不能太多!!")}));
    QCOMPARE(file_bytes("./query/query"), std::string("[query]\r\n000000=222222\r\n"));

    messages_->texts.clear();
    set_box_text(tab_->Memo8, QString(64, QChar(u'长')));
    tab_->change_diaoboClick();
    QVERIFY(messages_->texts.isEmpty());
    QCOMPARE(file_bytes("./query/acc"), std::string());
}

void TestCatalogueTab::lookUpFillsTheReplyBox() {
    put_file("./query/query", "[query]\r\n000000=1\r\n22=" + gbk("晴天") + "\r\n");
    tab_->Edit7->setText(QStringLiteral("2"));
    QTest::mouseClick(tab_->ChaXun_DianBoBitBtn1, Qt::LeftButton);
    QCOMPARE(box_text(tab_->Memo8), QStringLiteral("无此信息"));
    tab_->Edit7->setText(QStringLiteral("23"));
    tab_->ChaXun_DianBoBitBtn1Click();
    QCOMPARE(box_text(tab_->Memo8), QStringLiteral("无此信息!"));
    tab_->Edit7->setText(QStringLiteral("22"));
    tab_->ChaXun_DianBoBitBtn1Click();
    QCOMPARE(box_text(tab_->Memo8), QStringLiteral("晴天"));
}

void TestCatalogueTab::deleteClickRunsOncePerPress() {
    tab_->show();
    QVERIFY(QTest::qWaitForWindowActive(tab_.get()));
    tab_->Edit7->setText(QStringLiteral("11"));
    set_box_text(tab_->Memo8, QStringLiteral("a"));
    tab_->add_dianboClick();
    tab_->Edit7->setFocus();
    QVERIFY(tab_->Edit7->hasFocus());

    // The click also gives the button the focus; the code goes and the counter drops by one.
    QTest::mouseClick(tab_->del_dianbao, Qt::LeftButton);
    QCOMPARE(file_bytes("./query/acc"), std::string("0"));
    QVERIFY(file_bytes("./query/query").find("11=") == std::string::npos);
    // A press with the keyboard on the focused button is one more press.
    QTest::keyClick(tab_->del_dianbao, Qt::Key_Space);
    QCOMPARE(file_bytes("./query/acc"), std::string("-1"));
}

void TestCatalogueTab::tabbingOntoDeleteDeletes() {
    tab_->show();
    QVERIFY(QTest::qWaitForWindowActive(tab_.get()));
    tab_->Edit7->setText(QStringLiteral("11"));
    tab_->change_diaobo->setFocus();
    QTest::keyClick(tab_->change_diaobo, Qt::Key_Tab);
    QVERIFY(tab_->del_dianbao->hasFocus());
    QCOMPARE(file_bytes("./query/acc"), std::string("-1"));
}

void TestCatalogueTab::doubleClickListsAndSelectionLoadsTheBoxes() {
    put_file("./query/query",
             "[query]\r\n000000=1\r\n11=" + gbk("晴") + "\r\n\r\n" + "a-code-longer-than-nineteen=long\r\n");
    fillList();
    QTreeWidget* list = tab_->ListView1;
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(0), QString());
    QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("1"));
    QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("11"));
    QCOMPARE(list->topLevelItem(0)->text(3), QStringLiteral("晴"));
    QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("3"));
    QCOMPARE(list->topLevelItem(1)->text(2), QStringLiteral("a-code-longer-than-nineteen"));

    list->topLevelItem(1)->setSelected(true);
    QCOMPARE(tab_->Edit7->text(), QStringLiteral("a-code-longer-than-nineteen"));
    QCOMPARE(box_text(tab_->Memo8), QStringLiteral("long"));
    // Deselecting loads nothing.
    tab_->Edit7->clear();
    list->topLevelItem(1)->setSelected(false);
    QCOMPARE(tab_->Edit7->text(), QString());
}

void TestCatalogueTab::newListFillReplacesTheRows() {
    put_file("./query/query", "[query]\r\n000000=1\r\n11=a\r\n12=b\r\n");
    fillList();
    fillList();
    QCOMPARE(tab_->ListView1->topLevelItemCount(), 2);
    // A refresh lists what the file holds now, not what the list showed.
    put_file("./query/query", "[query]\r\n000000=1\r\n13=c\r\n");
    fillList();
    QCOMPARE(tab_->ListView1->topLevelItemCount(), 1);
    QCOMPARE(tab_->ListView1->topLevelItem(0)->text(2), QStringLiteral("13"));
}

void TestCatalogueTab::membersOnlyFollowsTheCheckBox() {
    QVERIFY(!options_->members_only);
    QTest::mouseClick(tab_->CheckBox3, Qt::LeftButton);
    QVERIFY(options_->members_only);
    tab_->CheckBox3->setChecked(false);
    QVERIFY(!options_->members_only);
}

void TestCatalogueTab::memberManagementOpensTheMembersFile() {
    const QString script = dir_->path() + QStringLiteral("/editor.sh");
    put_file(script.toStdString(), "#!/bin/sh\necho \"$@\" > \"" + dir_->path().toStdString() + "/opened\"\n");
    QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("VISUAL", script.toLocal8Bit());
    tab_->Button12Click();
    qunsetenv("VISUAL");
    QTRY_VERIFY(exists("opened"));
    QTRY_COMPARE(file_bytes("opened"), std::string("./huiyuan.txt\n"));
    QVERIFY(messages_->texts.isEmpty());
}

void TestCatalogueTab::memberManagementWithoutEditorShowsTheMessage() {
    const QByteArray path = qgetenv("PATH");
    const QByteArray visual = qgetenv("VISUAL");
    const QByteArray editor = qgetenv("EDITOR");
    qunsetenv("VISUAL");
    qputenv("EDITOR", "/nonexistent/editor");
    qputenv("PATH", dir_->path().toLocal8Bit());
    tab_->Button12Click();
    qputenv("PATH", path);
    visual.isNull() ? qunsetenv("VISUAL") : qputenv("VISUAL", visual);
    editor.isNull() ? qunsetenv("EDITOR") : qputenv("EDITOR", editor);
    QCOMPARE(messages_->texts, QStringList{QStringLiteral("用记事本打开 huiyuan.txt 进行管理")});
}

void TestCatalogueTab::failedWritesAreReported_data() {
    QTest::addColumn<QString>("blocked"); // the file a folder stands in for
    QTest::addColumn<QString>("button");

    QTest::newRow("add, catalogue unwritable") << "./query/query"
                                               << "add_dianbo";
    QTest::newRow("modify, catalogue unwritable") << "./query/query"
                                                  << "change_diaobo";
    QTest::newRow("delete, counter unwritable") << "./query/acc"
                                                << "del_dianbao";
}

void TestCatalogueTab::failedWritesAreReported() {
    QFETCH(QString, blocked);
    QFETCH(QString, button);
    QVERIFY(block_with_folder(blocked.toStdString()));
    tab_->Edit7->setText(QStringLiteral("11"));
    set_box_text(tab_->Memo8, QStringLiteral("text"));

    tab_->findChild<QPushButton*>(button)->click();

    QCOMPARE(messages_->texts, QStringList{QStringLiteral("数据写入失败，请检查磁盘空间和文件权限。")});
}

void TestCatalogueTab::lookUpWithoutItsMarkerAnswersAndTraces() {
    QVERIFY(block_with_folder("./query/query"));
    tab_->Edit7->setText(QStringLiteral("11"));
    QTest::ignoreMessage(QtWarningMsg, "vmsms: the marker entry of ./query/query could not be written");

    QTest::mouseClick(tab_->ChaXun_DianBoBitBtn1, Qt::LeftButton);

    QCOMPARE(box_text(tab_->Memo8), QStringLiteral("无此信息!"));
    QVERIFY(messages_->texts.isEmpty());
}

QTEST_MAIN(TestCatalogueTab)
#include "test_catalogue_tab.moc"
