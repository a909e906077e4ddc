#pragma once

#include <nlohmann/json.hpp>

#include <string>

// GET /v1/received: the messages received on `day` after number `after` (at most received_page_size of
// them), converted from GBK: {"day", "count", "messages": [{"number", "from", "text", "time"}], "next_after"}.
inline constexpr long received_page_size = 500;

nlohmann::json received_json(const std::string& day, long after);
