#pragma once

#include <QDialog>

struct DeleteOutcome;
class QLineEdit;
class QPushButton;

// The "删除" dialog: delete the customer named in the customer tab's name box, or the whole category
// named in its category box. It lives for the whole run and is only shown and hidden; it does not
// block the main window, and it acts on the boxes as they are when a choice is pressed.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    // `category_box` and `name_box` are the customer tab's Edit8 and Edit5; `main_window` is the window
    // the dialog is centred on.
    TForm3(QLineEdit* category_box, QLineEdit* name_box, QWidget* main_window = nullptr);

    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;

public slots:
    // Shows the dialog centred on the main window, without waiting for it.
    void showCentred();
    void Button1Click();
    void Button2Click();
    void Button3Click();

private:
    // Says what the deletion said and closes the dialog when it is done with.
    void conclude(const DeleteOutcome& outcome);

    QLineEdit* category_box_;
    QLineEdit* name_box_;
};
