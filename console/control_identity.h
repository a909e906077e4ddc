#pragma once

#include <QString>

class QWidget;

// Gives a control its name from the window definition. Tools that drive the window from outside find
// it by accessible name (the caption, or a box's label text) and accessible description (the name),
// because Qt does not show objectName to accessibility tools.
void nameControl(QWidget* control, const char* name, const QString& caption);
