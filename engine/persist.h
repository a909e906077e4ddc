#pragma once

#include "engine/engine_context.h"

#include <functional>
#include <string>

// Waits before each new try of a write that failed: 1 s, doubling, at most 30 s.
inline constexpr int first_write_retry_ms = 1000;
inline constexpr int longest_write_retry_ms = 30000;

// Makes one write of the spool (a counter, the send position, a queued reply) that the engine must not
// go on without. `write` returns whether it succeeded (errno set when not). On failure the engine stops
// there: the operator is told once (monitor, caption, trace), and the write is tried again after
// growing waits until it succeeds; then the started caption comes back. `path` names the file.
void persist(EngineContext& ctx, const std::string& path, const std::function<bool()>& write);
