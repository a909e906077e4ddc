#pragma once

#include <string>
#include <string_view>
#include <vector>

// How every reader of a stored recipient file (R<k>) takes it: the engine sending a record, the
// shared-queue writer turning it into rows, the intake reporting what became of it, and the writers'
// checks of a box before it is queued.
//
// The file is split at every line feed (the piece after the last one included) and each line cut at
// its first '\r' or '\n'. A line starting with '*' bars itself and every later line. Blanks are
// removed from each line, and a line left empty names nobody. A line written as a range
// ("13566668888-13577779999") stands for every number in it. Each recipient has the index under which
// the report logs name it: a line's recipient takes the current index and then moves it on by one; a
// range's numbers each move it on first and take the result; a line written as a range that names no
// exact range is reported under the current index and moves nothing.

// The file's lines, cut at their line end, '*' lines included.
std::vector<std::string_view> recipient_file_lines(std::string_view stored);

// A line as it is sent to: its blanks removed.
std::string prepared_recipient_line(std::string_view line);

// What a walk meets, in the file's order. The defaults of the optional steps do nothing.
class RecipientWalkVisitor {
public:
    virtual ~RecipientWalkVisitor() = default;
    // Every prepared line before a barring '*', empty ones too.
    virtual void line(const std::string& /*prepared*/) {}
    // A non-empty line written as a range, before its numbers (or before bad_range).
    virtual void range_line(const std::string& /*prepared*/) {}
    // One recipient and its index: a line as written (a number or a customer token), or a number of a
    // range (range_member). Returning false ends the walk.
    virtual bool recipient(long index, const std::string& recipient, bool range_member) = 0;
    // A line written as a range that names no exact range. Returning false ends the walk.
    virtual bool bad_range(long index, const std::string& prepared) = 0;
};

enum class WalkEnd {
    Finished, // every line was walked
    Barred,   // a line starting with '*' ended it
    Stopped,  // the visitor ended it
};

WalkEnd walk_recipient_file(std::string_view stored, RecipientWalkVisitor& visitor);
