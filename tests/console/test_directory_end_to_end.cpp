// A customer added on the customers tab, picked in the address book and queued from the compose tab
// is sent by the engine to the customer's number, against the simulated modem.
#include "console/address_book.h"
#include "console/compose_tab.h"
#include "console/customer_tab.h"
#include "console/engine_control.h"
#include "console/main_window.h"
#include "console/qt_text.h"
#include "console/support/captured_messages.h"
#include "console/support/modem_test_case.h"
#include "platform/gbk.h"
#include "support/virtual_clock.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

class DirectoryEndToEndTest : public ModemTestCase {
    Q_OBJECT

private slots:
    void customer_picked_in_the_address_book_gets_the_message() {
        CapturedMessages messages;
        VirtualClock clock;
        TForm1 form(clock, make_engine_thread);
        form.Timer1->stop();

        // Customers tab: category 客户, customer 采购部, phone 13800000002.
        CustomerTab* customers = form.customerTab;
        customers->Edit8->setText(QStringLiteral("客户"));
        customers->Edit5->setText(QStringLiteral("采购部"));
        customers->Edit6->setText(QStringLiteral("13800000002"));
        customers->add_kehu_buttonClick();

        // Address book on the compose tab: choose the category, then the customer.
        AddressBook* book = form.addressBook;
        book->fillTree();
        const auto categories = book->TreeView2->findItems(QStringLiteral("客户"), Qt::MatchExactly);
        QCOMPARE(categories.size(), 1);
        book->TreeView2->clearSelection();
        categories.first()->setSelected(true);
        QTRY_COMPARE(book->ListView6->topLevelItemCount(), 1);
        book->ListView6->topLevelItem(0)->setSelected(true);
        QCOMPARE(to_gbk(box_text(form.composeTab->shoujihao())).value_or(""),
                 gbk("客户") + "\x02" + gbk("采购部") + ";");

        // Compose and queue, then start the engine.
        set_box_text(form.composeTab->findChild<QPlainTextEdit*>(QStringLiteral("duanxin")), QStringLiteral("您好"));
        form.composeTab->fasdxClick();
        QVERIFY2(messages.texts.isEmpty(), qPrintable(messages.texts.join(QStringLiteral("|"))));
        form.BitBtn3Click();

        QTRY_VERIFY_WITH_TIMEOUT(modem().sent_text().find("to=+8613800000002") != std::string::npos, 60000);
        const std::string line = modem().sent_text();
        QVERIFY2(line.find("text=您好") != std::string::npos, line.c_str());
        QVERIFY(form.close());
    }
};

QTEST_MAIN(DirectoryEndToEndTest)
#include "test_directory_end_to_end.moc"
