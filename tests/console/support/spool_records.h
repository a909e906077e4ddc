#pragma once

#include <QStringList>

#include <string>

class ListFill;
class ListRowsModel;
class QTreeView;
class QWidget;

// Spool days as the message tabs find them, and the steps a test takes to have a list filled.

// Writes record n of `day`/`dir` ("new" or "recv") the way the spool's writers do: text mode, GBK.
// Texts are UTF-8 here. A header is written only when `time` is not empty. False when a file could not
// be written.
[[nodiscard]] bool put_record(const std::string& day, const std::string& dir, long n, const std::string& recipients,
                              const std::string& content, const std::string& time = "2004-5-6 7:01:05");
// Writes a counter file with exactly these bytes. False when it could not be written.
[[nodiscard]] bool put_counter(const std::string& day, const std::string& dir, const std::string& text);

// Double-clicks the empty area of a list, as the column header tells the operator to, and waits for
// the fill it starts to end. False when it did not end in time.
bool double_click_and_wait(QTreeView* view, ListFill& fill);
bool wait_for(ListFill& fill);

// The model behind a list view of the tabs.
ListRowsModel* rows_of(QTreeView* view);
// The record numbers (third column) of the listed rows, in list order.
QStringList listed_records(QTreeView* view);
// Selects one whole row of the list, and only it, as a click on the row does.
void select_row(QTreeView* view, int row);
