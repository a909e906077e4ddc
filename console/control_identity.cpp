#include "console/control_identity.h"

#include <QLabel>

namespace {

// "发送短信(&S)" is read out as "发送短信(S)": the '&' only marks the shortcut key.
QString withoutMnemonic(const QString& caption) {
    QString out;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) {
            ++i;
        }
        out += caption[i];
    }
    return out.trimmed();
}

} // namespace

void nameControl(QWidget* control, const char* name, const QString& caption) {
    control->setObjectName(QString::fromLatin1(name));
    renameControl(control, caption);
    control->setAccessibleDescription(QString::fromLatin1(name));
}

void renameControl(QWidget* control, const QString& caption) {
    control->setAccessibleName(withoutMnemonic(caption));
}

void nameAfterLabel(QWidget* box, const char* name, QLabel* label) {
    nameControl(box, name, label->text());
    label->setBuddy(box);
}
