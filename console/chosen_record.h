#pragma once

#include <string>

class ConsoleState;
class QPlainTextEdit;
struct ListRow;

// What choosing a row of the pending or the sent list does. The row's record number (read as the
// second line of its values) becomes the selected message, and the record of `day` is loaded from the
// queue directory, where sent records stay too: recipients into the first box, then content into the
// second. A missing file stops the loading there, so the boxes keep what they held.
void loadChosenRecord(ConsoleState& state, const ListRow& row, const std::string& day, QPlainTextEdit* recipients_box,
                      QPlainTextEdit* content_box);
