#pragma once

#include <initializer_list>

class QGridLayout;
class QHBoxLayout;
class QPushButton;

// The editing part of a directory tab: its boxes, with the buttons that act on them stacked at their
// right, first button on top.
QHBoxLayout* makeEditorRow(QGridLayout* boxes, std::initializer_list<QPushButton*> buttons);
