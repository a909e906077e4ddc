#include "console/directory_editor.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

QHBoxLayout* makeEditorRow(QGridLayout* boxes, std::initializer_list<QPushButton*> buttons) {
    auto* column = new QVBoxLayout;
    for (QPushButton* button : buttons) {
        column->addWidget(button);
    }
    column->addStretch(1);

    auto* editor = new QHBoxLayout;
    editor->addLayout(boxes, 1);
    editor->addLayout(column);
    return editor;
}
