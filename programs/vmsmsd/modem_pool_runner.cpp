#include "vmsmsd/modem_pool_runner.h"

#include "engine/pool/engine_pool.h"
#include "vmsmsd/printing_output.h"

#include <cstdio>
#include <ctime>

namespace {

// The pool's own trace (the journal writer's complaints): standard error, one line each.
class PoolTrace : public TraceSink {
public:
    void trace(std::string_view text) override {
        std::fprintf(stderr, "pool: %.*s", static_cast<int>(text.size()), text.data());
        if (text.empty() || text.back() != '\n') {
            std::fputc('\n', stderr);
        }
        std::fflush(stderr);
    }
};

} // namespace

int run_modem_pool(const ModemPoolSettings& pool, EngineOptions& options, sigset_t& signals,
                   const std::function<void()>& reload) {
    PoolTrace trace;
    for (const PoolModem& modem : pool.modems) {
        std::fprintf(stderr, "pool: %s on %s\n", modem.name.c_str(), modem.com.c_str());
    }
    std::fflush(stderr);
    // Each engine prints its own lines, named by its modem.
    EnginePool engines(
        pool, options, [](const PoolModem& modem, bool) { return std::make_unique<PrintingOutput>(modem.name); },
        real_clock(), trace);
    engines.Resume();
    timespec poll_interval{0, 200 * 1000 * 1000};
    while (!engines.Finished()) {
        int signal = sigtimedwait(&signals, nullptr, &poll_interval);
        if (signal == SIGHUP) {
            reload();
        } else if (signal > 0) {
            break;
        }
    }
    bool signalled = !engines.Finished();
    engines.Shutdown();
    return signalled ? 0 : engines.exit_status();
}
