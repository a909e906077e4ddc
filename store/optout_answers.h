#pragma once

#include <set>
#include <string>

// Replies that go to a number on the opt-out list nonetheless: the confirmation of an opt-out, and the
// answer to a query the number sent itself. {day}/send/optout-answers holds their record numbers, one a
// line, appended when such a reply is queued; the send pass lets these records through to listed
// numbers. Nothing is written for a number that is not on the list.

std::string optout_answers_path(const std::string& day);

// The record numbers noted for `day`; empty when there is no file (or it cannot be read: the list then
// holds those numbers back, as for any other record).
std::set<long> read_optout_answers(const std::string& day);

// Appends one record number. False (errno set) when the line could not be written whole.
[[nodiscard]] bool note_optout_answer(const std::string& day, long record);
