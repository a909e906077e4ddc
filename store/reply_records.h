#pragma once

#include <set>
#include <string>

// With quiet hours set, on-demand replies may go out while the day's other records wait. The engine
// notes which records are replies ({day}/send/replies, one record number per line, appended when the
// reply is queued) and which of them went out ahead of their turn ({day}/send/early); the send pass
// passes over those when it comes to them.

std::string reply_records_path(const std::string& day);
std::string early_records_path(const std::string& day);

std::set<long> read_reply_records(const std::string& day);
std::set<long> read_early_records(const std::string& day);
[[nodiscard]] bool note_reply_record(const std::string& day, long record);
[[nodiscard]] bool note_early_record(const std::string& day, long record);
