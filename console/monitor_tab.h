#pragma once

#include <QWidget>

class MonitorModel;
class QLabel;
class QPlainTextEdit;
class QString;

// The monitor tab "信息监控": the monitor text `Memo7`, newest entry first, and the note `Label22`.
// The box follows the monitor model on the GUI thread; nothing else writes to it.
class MonitorTab : public QWidget {
    Q_OBJECT

public:
    explicit MonitorTab(MonitorModel& model, QWidget* parent = nullptr);

    QPlainTextEdit* Memo7 = nullptr;
    QLabel* Label22 = nullptr;

private:
    void replaceText(const QString& text);
    void prependText(const QString& text);
    void cutText(int lines);
};
