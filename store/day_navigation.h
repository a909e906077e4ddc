#pragma once

#include <string>

// The day navigation of the sent and received lists: which spool day a list shows, and the day before
// or after it. `today` is today's spool date ("2004-5-6").

// The day a list works on: the date box's text when it holds more than one character, else today. The
// text (UTF-8, as the box holds it) is used as the day directory's name without any check. Characters
// are counted as the box counts them, in UTF-16 units.
std::string chosen_day(const std::string& box_text, const std::string& today);

// The day before or after the date box's text. A result whose year is below 1000 (an empty box, a text
// that is no date) becomes `today`. February always has 29 days here, and every calendar day is a step.
std::string previous_day_text(const std::string& text, const std::string& today);
std::string next_day_text(const std::string& text, const std::string& today);
