#pragma once

#include <QList>
#include <QString>

#include <functional>

class QAbstractItemView;
class QTreeView;

// What the tabs' report-style lists have in common, the message lists over their models and the
// directory lists alike.

// The set-up every list shares, given once its columns exist: named, no tree decoration, no editing,
// rows one line high (which keeps a list of thousands of rows quick to lay out), columns that stay in
// place, each `widths` pixels wide (an unnamed or hidden column is 1 pixel wide).
void setUpReportList(QTreeView* list, const char* name, const QString& caption, const QList<int>& widths);

// A text as a list cell shows it: line breaks as blanks, so each row stays one line high however many
// lines the text holds.
QString oneLine(QString text);

// Calls `handler` on every double-click in the view, on a row or on the empty area below the rows.
void onDoubleClick(QAbstractItemView* view, std::function<void()> handler);

// Calls `handler` with each row a selection change newly selects, in row order.
void onRowsSelected(QAbstractItemView* view, std::function<void(int row)> handler);

// Calls `handler` with the row a selection change newly selects last. Selecting a range of rows would
// load each of them in turn into the same boxes and the same selected number; only the last one stays,
// so only the last one is loaded.
void onLastRowSelected(QAbstractItemView* view, std::function<void(int row)> handler);
