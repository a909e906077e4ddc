#pragma once

#include <QWidget>

#include <string>

class Clock;
class ConsoleState;
class LimitedTextBox;
class ListFill;
class ListRowsModel;
class QLabel;
class QPushButton;
class QTreeView;

// The "待发送sms" tab: today's records the engine has not processed yet, listed on a double-click,
// shown, changed and barred from sending.
class PendingTab : public QWidget {
    Q_OBJECT
public:
    PendingTab(ConsoleState& state, Clock& clock, QWidget* parent = nullptr);

    // Starts a new fill of the list in the background, replacing one still running.
    void fillList();
    // The fill that serves the list, for callers that wait for it to end.
    ListFill& listFill() const { return *fill_; }

public slots:
    void daifaListView(int row);
    void changge_dai_BitBtn1Click();
    void del_dai_BitBtn2Click();

private:
    bool pendingToday(const std::string& day, int n, const QString& refused);

    ConsoleState& state_;
    Clock& clock_;
    ListRowsModel* rows_ = nullptr;
    ListFill* fill_ = nullptr;
    QTreeView* ListView2 = nullptr;
    QLabel* Label2 = nullptr;
    LimitedTextBox* Memo1 = nullptr;
    QLabel* Label3 = nullptr;
    LimitedTextBox* Memo2 = nullptr;
    QPushButton* changge_dai_BitBtn1 = nullptr;
    QPushButton* del_dai_BitBtn2 = nullptr;
};
