#include "console/settings_tab.h"

#include "console/control_identity.h"
#include "console/field_settings.h"
#include "console/message_box.h"
#include "console/qt_text.h"
#include "store/phone_number.h"
#include "store/settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStringList>
#include <QVBoxLayout>

#include <iterator>
#include <utility>

namespace {

QLineEdit* make_box(QWidget* parent, const char* name, const QLabel* label, const QString& text) {
    auto* box = new QLineEdit(text, parent);
    nameControl(box, name, label->text());
    return box;
}

// A box that the label in front of it names, for the label's shortcut and for screen readers alike.
QLineEdit* make_labelled_box(QWidget* parent, const char* name, QLabel* label, const QString& tip) {
    auto* box = new QLineEdit(parent);
    nameAfterLabel(box, name, label);
    box->setToolTip(tip);
    return box;
}

// Label texts are written with the CR LF of the window definition; a label shows LF.
QString label_text(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString setting_text(const Setting& setting) {
    return from_gbk(read_setting(setting));
}

// True when the value reached server.txt.
bool save_box(const Setting& setting, const QLineEdit* box) {
    return write_setting(setting, to_gbk_lossy(box->text()));
}

} // namespace

SettingsTab::SettingsTab(EngineOptions& options, Clock& clock, PortOpener open, QWidget* parent)
    : QWidget(parent), options_(options), runner_(clock_waits(clock), std::move(open)) {
    buildPortBoxes();
    buildModemBoxes();
    buildDeviceTypes();
    buildOptions();
    buildSchedule();
    buildSpeed();
    buildHelp();
    arrange();
    orderTabs();
    FormCreate();
    connectOptions();

    connect(Button1, &QPushButton::clicked, this, &SettingsTab::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &SettingsTab::Button2Click);
    Button2->installEventFilter(this);
    Label18->installEventFilter(this);
    Edit1->installEventFilter(this);

    connect(&runner_, &DeviceTestRunner::message, this, &SettingsTab::showTestMessage);
    connect(&runner_, &DeviceTestRunner::buttonCaption, Button2, &QPushButton::setText);
    connect(&runner_, &DeviceTestRunner::finished, this, &SettingsTab::deviceTestFinished);
}

void SettingsTab::buildPortBoxes() {
    Label18 = makeNamed<QLabel>(this, "Label18", QStringLiteral("串口  COM  ：    "));
    Edit1 = make_box(this, "Edit1", Label18, QStringLiteral("COM1"));
    Label19 = makeNamed<QLabel>(this, "Label19", QStringLiteral("波特率 ：      "));
    Edit2 = make_box(this, "Edit2", Label19, QStringLiteral("19200"));
    Label20 = makeNamed<QLabel>(this, "Label20", QStringLiteral("短信中心 ：      "));
    Edit3 = make_box(this, "Edit3", Label20, QString());
    const QString confirm = QStringLiteral("确      定(&Y)");
    Button1 = makeNamed<QPushButton>(this, "Button1", confirm);
}

void SettingsTab::buildModemBoxes() {
    Label31 = makeNamed<QLabel>(this, "Label31", QStringLiteral("SIM卡PIN码 ：      "));
    Edit11 = make_labelled_box(this, "Edit11", Label31,
                               QStringLiteral("SIM卡要求PIN码时输入一次，4到8位数字；空：不输入PIN码"));
    Edit11->setEchoMode(QLineEdit::Password);
    Label32 = makeNamed<QLabel>(this, "Label32", QStringLiteral("短信中心号码(国际) ：      "));
    Edit12 = make_labelled_box(
        this, "Edit12", Label32,
        QStringLiteral("国际格式的短信中心号码，写进每条短信，例如 +8613800000500；空：用SIM卡里的短信中心"));
    Label33 = makeNamed<QLabel>(this, "Label33", QStringLiteral("初始化命令 ：      "));
    Edit13 = make_labelled_box(
        this, "Edit13", Label33,
        QStringLiteral("启动和每次重新打开串口后发送的AT命令，多条用 | 分开，例如 AT+CMEE=1|AT+CSCS=\"GSM\""));
    Label34 = makeNamed<QLabel>(this, "Label34", QStringLiteral("国家代码 ：      "));
    Edit14 =
        make_labelled_box(this, "Edit14", Label34, QStringLiteral("本国手机号码所属的国家代码，1到3位数字；空：86"));
    Edit14->setPlaceholderText(QString::fromLatin1(default_country));
}

void SettingsTab::buildDeviceTypes() {
    RadioButton1 = makeNamed<QRadioButton>(this, "RadioButton1", QStringLiteral("SIEMENS手机系列 "));
    RadioButton2 = makeNamed<QRadioButton>(this, "RadioButton2", QStringLiteral("WAVECOM系列"));
    RadioButton5 = makeNamed<QRadioButton>(this, "RadioButton5", QStringLiteral("NOKIA手机和其它系列   "));
    // Only these three exclude each other; the compose tab has radio buttons of its own.
    device_types_ = new QButtonGroup(this);
    device_types_->addButton(RadioButton1);
    device_types_->addButton(RadioButton2);
    device_types_->addButton(RadioButton5);
    RadioButton5->setChecked(true);
}

void SettingsTab::buildOptions() {
    CheckBox1 = makeNamed<QCheckBox>(this, "CheckBox1", QStringLiteral("我的发射设备CPU性能较好    "));
    CheckBox5 = makeNamed<QCheckBox>(this, "CheckBox5", QStringLiteral("防止连续空号堵塞     "));
    CheckBox4 = makeNamed<QCheckBox>(this, "CheckBox4", QStringLiteral("发送短信失败后重试  "));
    CheckBox7 = makeNamed<QCheckBox>(this, "CheckBox7", QStringLiteral("短信直接显示到屏幕       "));
    CheckBox6 = makeNamed<QCheckBox>(this, "CheckBox6", QStringLiteral("增大通用性(不推荐使用)            "));
    CheckBox8 = makeNamed<QCheckBox>(this, "CheckBox8", QStringLiteral("快速收发（按模块应答收发）"));
    CheckBox8->setToolTip(QStringLiteral("等待模块的提示符和应答，而不是固定的等待时间；模块有新短信时立即读取"));
    CheckBox9 = makeNamed<QCheckBox>(this, "CheckBox9", QStringLiteral("长短信"));
    CheckBox9->setToolTip(QStringLiteral("超过一条的内容分成最多10条相连的短信发送（中文670字，英文1530字）"));
    CheckBox10 = makeNamed<QCheckBox>(this, "CheckBox10", QStringLiteral("状态报告"));
    CheckBox10->setToolTip(QStringLiteral("请求网络回送状态报告，送达与否记入 log/DLVR日期.log"));
}

void SettingsTab::buildSchedule() {
    CheckBox2 = makeNamed<QCheckBox>(this, "CheckBox2",
                                     QStringLiteral("我要定时启动和停止收发进程(按照举例认真填写,否则无效)         "));
    Label26 = makeNamed<QLabel>(this, "Label26", QStringLiteral("进程启动时间：   "));
    Edit9 = make_box(this, "Edit9", Label26, QStringLiteral("8:01"));
    Label28 = makeNamed<QLabel>(this, "Label28", QStringLiteral("进程停止时间：  "));
    Edit10 = make_box(this, "Edit10", Label28, QStringLiteral("21:00"));
}

void SettingsTab::buildSpeed() {
    Label29 = makeNamed<QLabel>(this, "Label29", QStringLiteral("发送速度  快         "));
    Label30 = makeNamed<QLabel>(this, "Label30", QStringLiteral("慢   "));
    TrackBar1 = new QSlider(Qt::Horizontal, this);
    nameControl(TrackBar1, "TrackBar1", Label29->text());
    TrackBar1->setRange(0, 10);
    TrackBar1->setSingleStep(1);
    TrackBar1->setTickInterval(1);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setValue(5);
}

void SettingsTab::buildHelp() {
    GroupBox1 = new QGroupBox(this);
    nameControl(GroupBox1, "GroupBox1", QString());
    Label24 = new QLabel(GroupBox1);
    Label24->setStyleSheet(QStringLiteral("color: teal"));
    Label24->setWordWrap(true);
    Label25 = new QLabel(GroupBox1);
    Label25->setStyleSheet(QStringLiteral("color: red"));
    Label25->setWordWrap(true);
    const QString skip = QStringLiteral("如果您确认设置正确可以跳过第7第8步骤.           ");
    Label23 = makeNamed<QLabel>(GroupBox1, "Label23", skip);
    Label23->setStyleSheet(QStringLiteral("font-weight: bold"));
    Label23->setWordWrap(true);
    const QString test = QStringLiteral("   设备测试并保存设备参数         ");
    Button2 = makeNamed<QPushButton>(GroupBox1, "Button2", test);
    // Saving when the button takes the focus needs the focus to come with the click.
    Button2->setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QVBoxLayout(GroupBox1);
    layout->addWidget(Label24);
    layout->addWidget(Label25);
    layout->addWidget(Label23);
    layout->addStretch(1);
    layout->addWidget(Button2);
}

void SettingsTab::arrange() {
    auto* port = new QGridLayout;
    port->addWidget(Label18, 0, 0);
    port->addWidget(Edit1, 0, 1);
    port->addWidget(Label19, 1, 0);
    port->addWidget(Edit2, 1, 1);
    port->addWidget(Label20, 2, 0);
    port->addWidget(Edit3, 2, 1);
    port->addWidget(Button1, 0, 2, 3, 1);
    port->addWidget(Label31, 3, 0);
    port->addWidget(Edit11, 3, 1);
    port->addWidget(Label32, 4, 0);
    port->addWidget(Edit12, 4, 1);
    port->addWidget(Label33, 5, 0);
    port->addWidget(Edit13, 5, 1, 1, 2);
    port->addWidget(Label34, 6, 0);
    port->addWidget(Edit14, 6, 1);

    auto* types = new QHBoxLayout;
    types->addWidget(RadioButton1);
    types->addWidget(RadioButton2);
    types->addWidget(RadioButton5);

    auto* checks = new QGridLayout;
    checks->addWidget(CheckBox1, 0, 0);
    checks->addWidget(CheckBox5, 0, 1);
    checks->addWidget(CheckBox4, 1, 0);
    checks->addWidget(CheckBox7, 1, 1);
    checks->addWidget(CheckBox8, 2, 0, 1, 2);
    checks->addWidget(CheckBox9, 3, 0);
    checks->addWidget(CheckBox10, 3, 1);

    auto* times = new QGridLayout;
    times->addWidget(Label26, 0, 0);
    times->addWidget(Edit9, 0, 1);
    times->addWidget(Label28, 0, 2);
    times->addWidget(Edit10, 0, 3);

    auto* speed = new QHBoxLayout;
    speed->addWidget(Label29);
    speed->addWidget(TrackBar1, 1);
    speed->addWidget(Label30);

    auto* left = new QVBoxLayout;
    left->addLayout(port);
    left->addLayout(types);
    left->addLayout(checks);
    left->addWidget(CheckBox2);
    left->addLayout(times);
    left->addWidget(CheckBox6);
    left->addLayout(speed);
    left->addStretch(1);

    auto* page = new QHBoxLayout(this);
    page->addLayout(left, 3);
    page->addWidget(GroupBox1, 2);
}

// The keyboard goes through the boxes top down, the modem's after the centre number, then to the
// confirm button.
void SettingsTab::orderTabs() {
    QWidget* const order[] = {Edit1, Edit2, Edit3, Edit11, Edit12, Edit13, Edit14, Button1};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void SettingsTab::FormCreate() {
    const QString steps =
        QStringLiteral("    初次使用时的步骤(不要启动任何进程）:\r\n\r\n1.用数据线把计算机和GSM "
                       "modem(或手机）相连。                  \r\n") +
        QStringLiteral("2. 设置 COM 串口。\r\n") + QStringLiteral("3. 设置 波特率。\r\n") +
        QStringLiteral("4. 设置 短信中心号码。\r\n") + QStringLiteral("5. 确认 所有的设置项都不空。\r\n") +
        QStringLiteral("6. 点击 确定!选择设备类型。\r\n") + QStringLiteral("7. 点击 设备测试并保存参数。\r\n");
    const QString wait = QStringLiteral("8.等待弹出'设备正常，设备参数保存正确，可以正常工作!'的对话框.          "
                                        "          \r\n");
    Label24->setText(label_text(steps));
    nameControl(Label24, "Label24", steps);
    Label25->setText(label_text(wait));
    nameControl(Label25, "Label25", wait);
}

void SettingsTab::connectOptions() {
    auto follow = [this](QCheckBox* box, std::atomic<bool>& option) {
        option = box->isChecked();
        connect(box, &QCheckBox::toggled, this, [&option](bool on) { option = on; });
    };
    follow(CheckBox1, options_.fast_device);
    follow(CheckBox4, options_.retry);
    follow(CheckBox5, options_.pause_after_failure);
    follow(CheckBox6, options_.wider_compatibility);
    follow(CheckBox7, options_.show_on_screen);
    for (const auto& [box, option, setting] : keptOptions()) {
        option = box->isChecked();
        connect(box, &QCheckBox::toggled, this,
                [this, &option = option, &setting = setting](bool on) { chooseKeptOption(option, setting, on); });
    }
    connect(CheckBox9, &QCheckBox::toggled, this, &SettingsTab::longMessagesChanged);
    connect(CheckBox10, &QCheckBox::toggled, this, &SettingsTab::deliveryReportsChanged);
    options_.speed = TrackBar1->value();
    connect(TrackBar1, &QSlider::valueChanged, this, [this](int position) { options_.speed = position; });

    options_.device = DeviceType::Other;
    connect(RadioButton1, &QRadioButton::toggled, this,
            [this](bool checked) { chooseDevice(DeviceType::Siemens, checked); });
    connect(RadioButton2, &QRadioButton::toggled, this,
            [this](bool checked) { chooseDevice(DeviceType::Wavecom, checked); });
    connect(RadioButton5, &QRadioButton::toggled, this,
            [this](bool checked) { chooseDevice(DeviceType::Other, checked); });
}

// RadioButton1Click, RadioButton2Click, RadioButton5Click: a choice is stored the moment it is made,
// whether by the operator or by start-up; choosing the selected one again changes nothing.
void SettingsTab::chooseDevice(DeviceType type, bool checked) {
    if (!checked) {
        return;
    }
    options_.device = type;
    if (!write_setting(settings::mtype, std::to_string(static_cast<int>(type)))) {
        showMessage(this, QStringLiteral("无法写入 server.txt，这些设置没有保存：MTYPE"));
    }
}

std::array<SettingsTab::KeptOption, 3> SettingsTab::keptOptions() {
    return {{{CheckBox8, options_.responsive, settings::responsive},
             {CheckBox9, options_.long_messages, settings::long_messages},
             {CheckBox10, options_.delivery_reports, settings::delivery_reports}}};
}

// The choice is kept at once, so the next start (of the window or of vmsmsd) makes it again.
void SettingsTab::chooseKeptOption(std::atomic<bool>& option, const Setting& setting, bool on) {
    option = on;
    if (!write_option(setting, on)) {
        showMessage(this, QStringLiteral("无法写入 server.txt，这些设置没有保存：") + QString::fromLatin1(setting.key));
    }
}

void SettingsTab::loadSettings() {
    for (const auto& [box, option, setting] : keptOptions()) {
        {
            // What server.txt says is shown, not written back.
            QSignalBlocker quiet(box);
            box->setChecked(setting_is_on(setting));
        }
        option = box->isChecked();
    }
    if (options_.long_messages.load()) {
        emit longMessagesChanged(); // the compose tab's counter starts with its own caption otherwise
    }
    Edit1->setText(setting_text(settings::com));
    Edit2->setText(setting_text(settings::shown_rate));
    Edit3->setText(setting_text(settings::shown_smscode));
    showFieldSettings();
    Edit9->setText(setting_text(settings::time1));
    Edit10->setText(setting_text(settings::time2));
}

void SettingsTab::selectDeviceType() {
    switch (mtype_number(read_setting(settings::mtype))) {
    case 1:
        RadioButton1->setChecked(true);
        break;
    case 2:
        RadioButton2->setChecked(true);
        break;
    case 3:
        RadioButton5->setChecked(true);
        break;
    default:
        break; // the window's own default stays
    }
}

void SettingsTab::showFieldSettings() {
    const FieldSettings stored = read_field_settings();
    Edit11->setText(stored.pin);
    Edit12->setText(stored.smsc);
    Edit13->setText(stored.init);
    Edit14->setText(stored.country);
}

FieldSettings SettingsTab::typedFieldSettings() const {
    return {Edit11->text(), Edit12->text(), Edit13->text(), Edit14->text()};
}

QStringList SettingsTab::saveBoxes() {
    const std::pair<const Setting&, const QLineEdit*> boxes[] = {{settings::com, Edit1},
                                                                 {settings::shown_rate, Edit2},
                                                                 {settings::shown_smscode, Edit3},
                                                                 {settings::time1, Edit9},
                                                                 {settings::time2, Edit10}};
    QStringList unsaved;
    for (const auto& [setting, box] : boxes) {
        if (!save_box(setting, box)) {
            unsaved << QString::fromLatin1(setting.key);
        }
    }
    return unsaved + write_field_settings(typedFieldSettings());
}

void SettingsTab::Button1Click() {
    const QStringList problems = field_settings_problems(typedFieldSettings());
    if (!problems.isEmpty()) {
        showMessage(this, QStringLiteral("设置有误，所有设置都没有保存：\n") + problems.join(QLatin1Char('\n')));
        return;
    }
    const QStringList unsaved = saveBoxes();
    if (!unsaved.isEmpty()) {
        showMessage(this,
                    QStringLiteral("无法写入 server.txt，这些设置没有保存：") + unsaved.join(QStringLiteral(", ")));
    }
}

void SettingsTab::SheZhi_enter() {
    Edit1->setText(setting_text(settings::com));
    Edit2->setText(setting_text(settings::shown_rate));
    Edit3->setText(setting_text(settings::shown_smscode));
}

void SettingsTab::Button2Click() {
    if (runner_.running()) {
        return;
    }
    bool start_enabled = start_button_ == nullptr || start_button_->isEnabled();
    emit deviceTestStarted();
    runner_.start(start_enabled);
}

bool SettingsTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Button2 && event->type() == QEvent::FocusIn) {
        Button1Click();
    } else if ((watched == Label18 || watched == Edit1) && event->type() == QEvent::MouseButtonRelease) {
        SheZhi_enter();
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsTab::showTestMessage(const QString& text) {
    showMessage(this, text);
}
