#include "console/delete_dialog.h"

#include "console/control_identity.h"
#include "console/message_box.h"
#include "console/qt_text.h"
#include "directory/customer_deletion.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace {

constexpr int dialog_width = 181;
constexpr int dialog_height = 141;
constexpr int margin = 12;
constexpr int spacing = 9;
constexpr int button_height = (dialog_height - 2 * margin - 2 * spacing) / 3;

} // namespace

TForm3::TForm3(QLineEdit* category_box, QLineEdit* name_box, QWidget* main_window)
    : QDialog(main_window), category_box_(category_box), name_box_(name_box) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    nameControl(this, "Form3", QStringLiteral("删除"));
    setWindowTitle(QStringLiteral("删除"));
    setModal(false);

    Button1 = makeNamed<QPushButton>(this, "Button1", QStringLiteral("取消"));
    Button2 = makeNamed<QPushButton>(this, "Button2", QStringLiteral("只删除客户"));
    Button3 = makeNamed<QPushButton>(this, "Button3", QStringLiteral("删除客户组"));
    Button1->setDefault(true);
    // Three equal buttons stacked in the small window, as the form was laid out.
    int y = margin;
    for (QPushButton* button : {Button1, Button2, Button3}) {
        button->setGeometry(margin, y, dialog_width - 2 * margin, button_height);
        y += button_height + spacing;
    }
    setFixedSize(dialog_width, dialog_height);

    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm3::Button3Click);
}

void TForm3::showCentred() {
    QRect over;
    if (QWidget* main_window = parentWidget()) {
        over = main_window->window()->frameGeometry();
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        over = screen->availableGeometry();
    }
    if (over.isValid()) {
        move(over.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
    activateWindow();
}

void TForm3::Button1Click() {
    hide();
}

void TForm3::Button2Click() {
    conclude(delete_customer(to_gbk_lossy(category_box_->text()), to_gbk_lossy(name_box_->text())));
}

void TForm3::Button3Click() {
    conclude(delete_customer_group(to_gbk_lossy(category_box_->text())));
}

void TForm3::conclude(const DeleteOutcome& outcome) {
    showGbkMessage(this, outcome.message);
    if (outcome.close) {
        hide();
    }
}
