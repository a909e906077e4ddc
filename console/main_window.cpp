#include "console/main_window.h"

#include "console/address_book.h"
#include "console/catalogue_tab.h"
#include "console/customer_tab.h"
#include "console/delete_dialog.h"

#include "console/compose_tab.h"
#include "console/console_state.h"
#include "console/control_identity.h"
#include "console/greyed_reason.h"
#include "console/history_tab.h"
#include "console/launchers.h"
#include "console/message_box.h"
#include "console/monitor_guide.h"
#include "console/monitor_tab.h"
#include "console/optout_tab.h"
#include "console/pending_tab.h"
#include "console/qt_text.h"
#include "console/settings_tab.h"
#include "engine/operator_texts.h"
#include "engine/schedule.h"
#include "modem/serial_link.h"
#include "platform/gbk.h"
#include "platform/process.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int client_width = 757;
// The window of the original layout was 495 pixels high; the status line below the buttons adds 22.
constexpr int client_height = 517;
constexpr int settings_tab_index = 7;

const char* const caption_at_start = "Velmora短信网关--企业短消息服务器";
const char* const caption_not_started = "Velmora短信网关--企业短消息服务器  ：   收发进程未启动";
const char* const caption_stopped = "Velmora短信网关--企业短消息服务器  ：   收发进程已经停止！";
// The schedule's captions name the system differently, and the stop caption has three '-'.
const char* const caption_scheduled_start = "Velmorasms客户管理系统--企业短消息服务器  ：   收发进程已启动";
const char* const caption_scheduled_stop = "Velmorasms客户管理系统---企业短消息服务器  ：   收发进程已经停止！";

const char* const monitor_started = "-------------收发进程已经启动！";
const char* const monitor_not_started = "-------------收发进程未启动！";
const char* const monitor_stopped = "-------------收发进程已经停止！";
const char* const monitor_scheduled_start = "-------------收发进程已经定时启动！ \r\n";
const char* const monitor_scheduled_stop = "-------------收发进程已经定时停止！\r\n";

// Without a saved port the engine would open COM1, a port nobody chose.
const char* const port_missing =
    "未设置通信端口（server.txt 中 [SET] 的 COM）。请先在“系统设置”页填写端口并按“确定”保存。";

QString close_while_running_question() {
    return QStringLiteral("收发进程正在运行，关闭窗口将停止短消息的发送和接收。\n确定要关闭吗？");
}

} // namespace

TForm1::TForm1(Clock& clock, const EngineFactory& make_engine, PortOpener open_port, QWidget* parent)
    : QWidget(parent), clock_(clock), monitor_(monitor_guide()) {
    // The captions are sized for a 9-point face; a larger one pushes tabs and labels out of the fixed
    // window.
    QFont face = font();
    face.setPointSize(9);
    setFont(face);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    nameControl(this, "Form1", QString::fromUtf8(caption_at_start));
    connect(&monitor_, &MonitorModel::captionChanged, this, &QWidget::setWindowTitle);
    monitor_.set_caption(gbk(caption_at_start));

    buildTabs(open_port ? std::move(open_port) : PortOpener(port_open));
    buildButtons();
    arrange();

    // Construction, in the order the settings and the engine depend on:
    // 1. the saved settings into their boxes (and the options kept there into the tabs that show them);
    settingsTab->loadSettings();
    sentTab->showDeliveryColumn(options_.delivery_reports.load());
    // 2. the engine thread, paused until the first start;
    engine_ = make_engine(options_, monitor_, clock_);
    // 3. the category tree of the customers tab and the address-book tree of the new-message tab;
    customerTab->fillCategoryTree();
    addressBook->fillTree();
    // 4. the device type from MTYPE (the engine reads the choice at the moment of use);
    settingsTab->selectDeviceType();
    // 5. the recipients box's hint, which the compose tab shows from its start.

    // The delete dialog comes after the window it is centred on.
    Form3 = new TForm3(customerTab->Edit8, customerTab->Edit5, this);
    customerTab->setDeleteDialog(Form3);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1->start();
}

TForm1::~TForm1() {
    FormClose();
}

void TForm1::buildTabs(PortOpener open_port) {
    PageControl1 = new QTabWidget(this);
    nameControl(PageControl1, "PageControl1", QString());
    composeTab = new ComposeTab(state_, options_, clock_, PageControl1);
    addPage(composeTab, "TabSheet1", QStringLiteral("新建sms"));
    addPage(new PendingTab(state_, clock_, PageControl1), "TabSheet2", QStringLiteral("待发送sms"));
    sentTab = new SentTab(state_, clock_, PageControl1);
    addPage(sentTab, "TabSheet3", QStringLiteral("已发送sms"));
    addPage(new ReceivedTab(state_, clock_, PageControl1), "TabSheet4", QStringLiteral("已接收sms"));
    catalogueTab = new CatalogueTab(options_, PageControl1);
    addPage(catalogueTab, "TabSheet5", QStringLiteral("点播信息维护"));
    customerTab = new CustomerTab(category_record_, PageControl1);
    addPage(customerTab, "TabSheet6", QStringLiteral("客户信息维护"));
    optOutTab = new OptOutTab(clock_, PageControl1);
    addPage(optOutTab, "TabSheet9", QStringLiteral("退订名单"));
    addressBook = new AddressBook(category_record_, composeTab->shoujihao(), composeTab);
    composeTab->addressBookArea()->addWidget(addressBook);

    settingsTab = new SettingsTab(options_, clock_, std::move(open_port), PageControl1);
    addPage(settingsTab, "TabSheet7", QStringLiteral("系统设置"));
    monitorTab = new MonitorTab(monitor_, PageControl1);
    addPage(monitorTab, "TabSheet8", QStringLiteral("信息监控"));
    PageControl1->setCurrentIndex(settings_tab_index);
    // Nine captions and the version button share one row of 757 pixels; Qt's roomier default tabs
    // would push some behind scroll arrows.
    PageControl1->setUsesScrollButtons(false);
    PageControl1->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 2px; }"));

    connect(settingsTab, &SettingsTab::deviceTestStarted, this, &TForm1::holdStartDuringDeviceTest);
    connect(settingsTab, &SettingsTab::longMessagesChanged, composeTab, &ComposeTab::longMessagesChanged);
    connect(settingsTab, &SettingsTab::deliveryReportsChanged, sentTab, &SentTab::showDeliveryColumn);
    new GreyedReason(settingsTab->Button2, [] {
        return QStringLiteral("收发进程启动后一直占用串口，直到关闭程序：设备测试要在启动收发进程之前进行");
    });
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    connect(composeTab, &ComposeTab::queued, this,
            [this](const QString& text) { StatusBar1->showMessage(text, queued_message_ms_); });
    connect(settingsTab, &SettingsTab::deviceTestFinished, this, &TForm1::releaseStartAfterDeviceTest);
}

void TForm1::addPage(QWidget* page, const char* name, const QString& caption) {
    nameControl(page, name, caption);
    PageControl1->addTab(page, caption);
}

void TForm1::buildButtons() {
    BitBtn3 = makeNamed<QPushButton>(this, "BitBtn3", QStringLiteral("启动短消息收发进程"));
    BitBtn5 = makeNamed<QPushButton>(this, "BitBtn5", QStringLiteral("停止短消息收发进程"));
    BitBtn5->setEnabled(false);
    Button7 = launcherButton(launchers[0]);
    Button8 = makeNamed<QPushButton>(this, "Button8", QString::fromUtf8(maker_web_site_caption));
    Button10 = launcherButton(launchers[1]);
    Button13 = launcherButton(launchers[2]);
    new GreyedReason(BitBtn3, [this] {
        return settingsTab->deviceTestRunning() ? QStringLiteral("设备测试正在使用串口，测试结束后才能启动")
                                                : QStringLiteral("收发进程已在运行");
    });
    new GreyedReason(BitBtn5, [] { return QStringLiteral("收发进程没有运行"); });
    Button9 = makeNamed<QPushButton>(PageControl1, "Button9", QStringLiteral("*super power*vmSMSserver3.92"));
    Button9->setEnabled(false);
    Button9->setFlat(true);
    QFont small = Button9->font();
    small.setPointSize(8);
    Button9->setFont(small);
    PageControl1->setCornerWidget(Button9, Qt::TopRightCorner);
    settingsTab->setStartButton(BitBtn3);

    connect(BitBtn3, &QPushButton::clicked, this, &TForm1::BitBtn3Click);
    connect(BitBtn5, &QPushButton::clicked, this, &TForm1::ddd);
    connect(Button8, &QPushButton::clicked, this, [] { open_url(maker_web_site); });
}

QPushButton* TForm1::launcherButton(const Launcher& launcher) {
    QPushButton* button = makeNamed<QPushButton>(this, launcher.button, QString::fromUtf8(launcher.caption));
    connect(button, &QPushButton::clicked, this, [launcher] {
        if (launcher.bundled != nullptr) {
            launch_bundled(launcher.bundled, launcher.program);
        } else {
            launch_companion(launcher.program);
        }
    });
    return button;
}

void TForm1::arrange() {
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {BitBtn3, BitBtn5, Button7, Button8, Button10, Button13}) {
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttons);
    layout->addWidget(StatusBar1);

    setFixedSize(client_width, client_height);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect desktop = screen->availableGeometry();
        move(desktop.center() - QPoint(client_width / 2, client_height / 2));
    }
}

void TForm1::BitBtn3Click() {
    if (!engine_) {
        return;
    }
    if (!port_setting_present()) {
        showMessage(this, QString::fromUtf8(port_missing));
        return;
    }
    BitBtn3->setEnabled(false);
    settingsTab->Button2->setEnabled(false); // the device test would contend for the port
    BitBtn5->setEnabled(true);
    engine_->Resume();
    monitor_.replace_monitor(gbk(monitor_started));
    monitor_.set_caption(started_caption());
    // Paused more than once, or ended by itself (a port failure): the buttons stay as they are, so the
    // operator can stop and start again.
    if (engine_->Suspended()) {
        monitor_.replace_monitor(gbk(monitor_not_started));
        monitor_.set_caption(gbk(caption_not_started));
    }
}

void TForm1::ddd() {
    if (!engine_) {
        return;
    }
    BitBtn5->setEnabled(false);
    BitBtn3->setEnabled(true);
    monitor_.set_caption(gbk(caption_stopped));
    monitor_.replace_monitor(gbk(monitor_stopped));
    engine_->Suspend();
}

void TForm1::Timer1Timer() {
    // A start now would find the port held by the device test and give up for good. The test ends
    // within seconds, so the tick after it usually still falls in the same minute.
    if (!engine_ || settingsTab->deviceTestRunning()) {
        return;
    }
    ScheduleInput input;
    input.enabled = settingsTab->CheckBox2->isChecked();
    input.start_box = to_gbk_lossy(settingsTab->Edit9->text());
    input.stop_box = to_gbk_lossy(settingsTab->Edit10->text());
    input.now = clock_.now();
    input.engine_suspended = engine_->Suspended();
    switch (schedule_check(input)) {
    case ScheduleAction::ResetTimes:
        settingsTab->Edit10->setText(QStringLiteral("21:00"));
        settingsTab->Edit9->setText(QStringLiteral("8:01"));
        break;
    case ScheduleAction::Start:
        scheduledStart(input.now);
        break;
    case ScheduleAction::Stop:
        scheduledStop();
        break;
    case ScheduleAction::None:
        break;
    }
}

// Unlike the start button, the schedule leaves the device-test button as it is.
void TForm1::scheduledStart(const LocalTime& now) {
    if (!port_setting_present()) {
        // Nobody is there to close a message box, and the start minute has sixty ticks: one entry on the
        // monitor for the minute says it.
        StartMinute minute{now.year, now.month, now.day, now.hour, now.minute};
        if (port_missing_reported_ != minute) {
            port_missing_reported_ = minute;
            monitor_.prepend_monitor(gbk(port_missing) + "\r\n");
        }
        return;
    }
    engine_->Resume();
    BitBtn3->setEnabled(false);
    BitBtn5->setEnabled(true);
    monitor_.prepend_monitor(gbk(monitor_scheduled_start));
    monitor_.set_caption(gbk(caption_scheduled_start));
}

void TForm1::scheduledStop() {
    engine_->Suspend();
    BitBtn3->setEnabled(true);
    BitBtn5->setEnabled(false);
    monitor_.set_caption(gbk(caption_scheduled_stop));
    monitor_.prepend_monitor(gbk(monitor_scheduled_stop));
}

// While the device test holds the port, a start would make the engine fail to open it, for good.
void TForm1::holdStartDuringDeviceTest() {
    start_enabled_before_test_ = BitBtn3->isEnabled();
    BitBtn3->setEnabled(false);
}

void TForm1::releaseStartAfterDeviceTest() {
    BitBtn3->setEnabled(start_enabled_before_test_);
}

void TForm1::FormClose() {
    if (Timer1 != nullptr) {
        Timer1->stop();
    }
    settingsTab->stopDeviceTest();
    if (engine_) {
        engine_->Suspend();
        engine_->Shutdown();
        engine_.reset();
    }
}

// The engine, the start and stop buttons and the schedule all change the caption; screen readers
// announce the window by its accessible name, so it follows every change, whoever made it.
void TForm1::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowTitleChange) {
        renameControl(this, windowTitle());
    }
    QWidget::changeEvent(event);
}

// Closing the window ends the sending and receiving, so an operator who closes it by hand while the
// engine runs is asked first. A close the program asks for itself (at log-out the session is ending
// anyway) goes ahead.
void TForm1::closeEvent(QCloseEvent* event) {
    const bool engine_running = engine_ && !engine_->Suspended();
    if (event->spontaneous() && engine_running && !askQuestion(this, close_while_running_question())) {
        event->ignore();
        return;
    }
    FormClose();
    QWidget::closeEvent(event);
}
