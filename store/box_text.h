#pragma once

#include <string>
#include <vector>

// What the compose tab's boxes hold, made from the input of the programs that queue without a window
// (vmsms-send, the intake), so every writer hands the queue the same text.

// Recipients one per line, CR LF between lines, as the recipients box holds them.
std::string box_lines(const std::vector<std::string>& lines);

// Text with bare LF line breaks as a box holds it (CR LF); CR LF already there stays.
std::string box_text(const std::string& text);
