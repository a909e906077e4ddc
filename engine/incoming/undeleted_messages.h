#pragma once

#include "engine/engine_context.h"

#include <string>

// Messages stored in the spool that the modem did not delete when asked: while one stays listed it is
// not stored again, only deleted again. A storage of "" is whatever the modem lists without AT+CPMS.

// How many are remembered at most; beyond that the oldest is forgotten (and would be stored again).
inline constexpr std::size_t most_undeleted = 256;
// PDUs longer than any message are not remembered: such a line is no message of the modem's.
inline constexpr std::size_t longest_remembered_pdu = 1024;

bool is_undeleted(const StorageState& state, const std::string& storage, const std::string& index,
                  const std::string& pdu);
void remember_undeleted(StorageState& state, const std::string& storage, const std::string& index,
                        const std::string& pdu);
// The message at `index` of `storage` is gone from the modem.
void forget_undeleted(StorageState& state, const std::string& storage, const std::string& index);
// Forgets the messages of `storage` that its listing no longer holds.
void forget_unlisted(StorageState& state, const std::string& storage, const std::string& listing);
