#pragma once

#include <QList>
#include <QString>

class ListRowsModel;
class QTreeView;
class QWidget;

// A message list over `model`, with the given column widths in pixels (the hidden columns are 1 pixel
// wide). Its last column keeps its width, as the message lists always have.
QTreeView* makeReportView(QWidget* parent, const char* name, const QString& caption, ListRowsModel* model,
                          const QList<int>& widths);
