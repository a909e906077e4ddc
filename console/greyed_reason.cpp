#include "console/greyed_reason.h"

#include <QEvent>
#include <QWidget>

GreyedReason::GreyedReason(QWidget* control, std::function<QString()> why)
    : QObject(control), control_(control), why_(std::move(why)), own_tip_(control->toolTip()) {
    control->installEventFilter(this);
    update();
}

bool GreyedReason::eventFilter(QObject* watched, QEvent* event) {
    if (watched == control_ && event->type() == QEvent::EnabledChange) {
        update();
    }
    return false;
}

void GreyedReason::update() {
    control_->setToolTip(control_->isEnabled() ? own_tip_ : why_());
}
