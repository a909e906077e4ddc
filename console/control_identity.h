#pragma once

#include <QString>

class QLabel;
class QWidget;

// Gives a control its name from the window definition. Tools that drive the window from outside find
// it by accessible name (the caption, or a box's label text) and accessible description (the name),
// because Qt does not show objectName to accessibility tools.
void nameControl(QWidget* control, const char* name, const QString& caption);

// Gives a named control's accessible name a new caption, as nameControl gave it the first one.
void renameControl(QWidget* control, const QString& caption);

// Names a box after the label in front of it and makes the label its buddy, so the label's shortcut
// and the accessibility tools both lead to the box.
void nameAfterLabel(QWidget* box, const char* name, QLabel* label);

// A control that shows `caption` (a label, button, check box or radio button), named after it.
template <class Control> Control* makeNamed(QWidget* parent, const char* name, const QString& caption) {
    auto* control = new Control(caption, parent);
    nameControl(control, name, caption);
    return control;
}
