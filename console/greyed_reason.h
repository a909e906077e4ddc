#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

// Tells why a control is greyed: while it is disabled its tool tip is the reason `why` gives at that
// moment, and once it is enabled again the tool tip it had before comes back.
class GreyedReason : public QObject {
public:
    GreyedReason(QWidget* control, std::function<QString()> why);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void update();

    QWidget* control_;
    std::function<QString()> why_;
    QString own_tip_;
};
