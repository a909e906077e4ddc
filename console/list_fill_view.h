#pragma once

#include <QList>
#include <QString>

class ListRowsModel;
class QItemSelection;
class QTreeView;
class QWidget;

// The report-style list view the message tabs show their rows in.

// A list over `model` with the given column widths in pixels (the hidden columns are 1 pixel wide).
// Rows are one line high, which keeps a list of thousands of rows quick to lay out.
QTreeView* makeReportView(QWidget* parent, const char* name, const QString& caption, ListRowsModel* model,
                          const QList<int>& widths);

// The row a selection change newly selected last, or -1. Selecting a range of rows would load each of
// them in turn into the same boxes and the same selected number; only the last one stays, so only the
// last one is loaded.
int lastSelectedRow(const QItemSelection& selected);
