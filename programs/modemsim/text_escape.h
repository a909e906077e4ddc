#pragma once

#include <string>
#include <string_view>
#include <vector>

// Texts that must stay on one line: the decoded submissions in the record, and the words of the
// control protocol.

// Backslash, CR, LF, TAB and other control bytes written as \\, \r, \n, \t and \xHH; everything
// else, UTF-8 included, is kept.
std::string escape_line_text(std::string_view text);

// A control line: words joined by single spaces, each escaped as above and with its spaces as \s.
std::string join_control_words(const std::vector<std::string>& words);

// The words of a control line, escapes undone. Runs of spaces separate like one.
std::vector<std::string> split_control_words(std::string_view line);
