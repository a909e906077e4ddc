#pragma once

#include "engine/engine_context.h"

#include <functional>
#include <string>

// Makes one write of the spool (a counter, the send position, a queued reply) that the engine must not
// go on without. `write` returns whether it succeeded (errno set when not). On failure the engine stops
// there: the operator is told once (monitor, caption, trace), and the write is tried again after
// growing waits until it succeeds; then the started caption comes back. `path` names the file.
void persist(EngineContext& ctx, const std::string& path, const std::function<bool()>& write);
