#pragma once

#include <QList>
#include <QStringList>

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// The report-style lists of the directory tabs, which hold their rows as items.

// A list with the given column captions and widths in pixels (the unnamed first column is 1 pixel
// wide), whole rows selected.
QTreeWidget* makeDirectoryList(QWidget* parent, const char* name, const QString& caption, const QStringList& headers,
                               const QList<int>& widths);

// Appends rows to the list. A cell shows its line breaks as blanks, so each row stays one line high;
// the text as read stays in the cell's Qt::UserRole.
void appendDirectoryRows(QTreeWidget* list, const QList<QStringList>& rows);
// The text of a cell as read.
QString directoryCell(const QTreeWidget* list, int row, int column);
// The item of `row` while it is selected, else nullptr: the selection slots load only a selected row.
QTreeWidgetItem* selectedItem(const QTreeWidget* list, int row);
