#pragma once

#include <string>

// How the boxes' texts become a record's files in the spool (R<k> and D<k>), for every writer.

// The recipient box text as it is stored: every ';' becomes a line feed, unless the character two
// places after it is a line feed (a ';' that ends a line before the box's CR LF stays).
std::string recipients_for_file(const std::string& box_text);

// The content as the UTF-16 code units of its text, four upper-case hex digits each.
std::string content_ucs2_hex(const std::string& content_gbk);

// The stored content: English gets the kind byte 2 in front and three blanks behind.
std::string content_for_file(const std::string& content_gbk, bool english);
