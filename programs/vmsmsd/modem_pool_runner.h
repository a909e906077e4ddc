#pragma once

#include "engine/engine_options.h"
#include "store/modem_pool_settings.h"

#include <csignal>
#include <functional>

// vmsmsd with several modems: one engine per modem of the pool, threads of this process, sending from
// the one spool through one dispatcher (engine/pool/recipient_dispatcher.h) and receiving each from its
// own modem. SIGINT or SIGTERM (among `signals`, blocked in every thread) stops them all; SIGHUP calls
// `reload`. Runs until a signal or until every engine has ended; the exit status as for one modem: 3
// when an engine's modem needs the operator, 1 when one could not start, else 0.
int run_modem_pool(const ModemPoolSettings& pool, EngineOptions& options, sigset_t& signals,
                   const std::function<void()>& reload);
