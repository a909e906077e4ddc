#pragma once

#include <QWidget>

class Clock;
class OptOutModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

// The "退订名单" tab: the numbers that asked for no more messages (./optout.txt), read-only, with a box
// to add a number by hand and a button that takes the chosen number off the list. Every change goes
// through the list's own lock; the list is read again after each change and whenever the tab is shown.
class OptOutTab : public QWidget {
    Q_OBJECT
public:
    // `clock` gives the day an added number is entered under.
    explicit OptOutTab(Clock& clock, QWidget* parent = nullptr);

    // How long a change waits for the list's lock (5 s; tests shorten it).
    void setLockTimeout(int ms) { lock_timeout_ms_ = ms; }

    // How many numbers the list holds, or why it is not shown.
    QLabel* Label36 = nullptr;
    QTreeView* ListView7 = nullptr;
    QLabel* Label35 = nullptr;
    QLineEdit* Edit15 = nullptr;
    QPushButton* Button14 = nullptr;
    QPushButton* Button15 = nullptr;

public slots:
    // Reads the list again into the table.
    void fillList();
    // Adds the number typed into Edit15, keyword "manual", today's date.
    void Button14Click();
    // Takes the chosen line's number off the list.
    void Button15Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void arrange();
    void showCount(const QString& text);

    Clock& clock_;
    OptOutModel* model_ = nullptr;
    int lock_timeout_ms_ = 5000;
};
