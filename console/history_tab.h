#pragma once

#include "console/list_fill_rows.h"

#include <QString>
#include <QWidget>

#include <string>

class Clock;
class ConsoleState;
class LimitedTextBox;
class ListFill;
class ListRowsModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

// One day of the spool's history: the sent records ("已发送sms") or the received ones ("已接收sms").
// The two tabs differ in their control names, captions and fill rules; SentTab and ReceivedTab name them.
class HistoryTab : public QWidget {
    Q_OBJECT
public:
    // Starts a new fill of the list for the chosen day, replacing one still running.
    void fillList();
    ListFill& listFill() const { return *fill_; }

    // The day the tab works on (chosen_day): the date box's text, or today when it is (nearly) empty.
    std::string chosenDay() const;

public slots:
    void previousDay();
    void nextDay();

protected:
    HistoryTab(ListKind kind, ConsoleState& state, Clock& clock, QWidget* parent);
    // Loads the row a selection chose into the boxes; a row past the list's end is ignored.
    virtual void rowSelected(int row) = 0;

    ListKind kind_;
    ConsoleState& state_;
    Clock& clock_;
    ListRowsModel* rows_ = nullptr;
    ListFill* fill_ = nullptr;
    QTreeView* list_ = nullptr;
    QLabel* date_label_ = nullptr;
    QLineEdit* date_box_ = nullptr;
    QPushButton* previous_button_ = nullptr;
    QPushButton* next_button_ = nullptr;
    QLabel* from_label_ = nullptr;
    LimitedTextBox* from_box_ = nullptr;
    QLabel* text_label_ = nullptr;
    LimitedTextBox* text_box_ = nullptr;

private:
    QString fill_day_; // the day the running fill lists
};

// The "已发送sms" tab: ListView3, nian_Edit7, Button5/Button6, Memo3/Memo4.
class SentTab : public HistoryTab {
    Q_OBJECT
public:
    SentTab(ConsoleState& state, Clock& clock, QWidget* parent = nullptr);

    // The delivery column shows while delivery reports are on.
    void showDeliveryColumn(bool shown);

public slots:
    void YiifaduanXinlistView(int row);
    void Button5Click() { previousDay(); }
    void Button6Click() { nextDay(); }

protected:
    void rowSelected(int row) override { YiifaduanXinlistView(row); }
};

// The "已接收sms" tab: ListView4, Edit4, Button3/Button4, Memo5/Memo6.
class ReceivedTab : public HistoryTab {
    Q_OBJECT
public:
    ReceivedTab(ConsoleState& state, Clock& clock, QWidget* parent = nullptr);

public slots:
    void YiJieShouListView4Change(int row);
    void Button3Click() { previousDay(); }
    void Button4Click() { nextDay(); }

protected:
    void rowSelected(int row) override { YiJieShouListView4Change(row); }
};
