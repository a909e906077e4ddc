#include "vmsmsd/modem_pool_runner.h"

#include "engine/events/engine_events.h"
#include "engine/myterad.h"
#include "engine/pool/pool_seat.h"
#include "engine/pool/recipient_dispatcher.h"
#include "vmsmsd/printing_output.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr int exit_needs_operator = 3;

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

struct PoolEngine {
    PoolSeat seat;
    std::unique_ptr<PrintingOutput> output;
    std::unique_ptr<myterad> engine;
};

bool all_finished(const std::vector<PoolEngine>& engines) {
    for (const PoolEngine& e : engines) {
        if (!e.engine->Finished()) {
            return false;
        }
    }
    return true;
}

int exit_status(const std::vector<PoolEngine>& engines) {
    bool failed = false;
    for (const PoolEngine& e : engines) {
        if (e.engine->NeedsOperator()) {
            return exit_needs_operator;
        }
        failed = failed || e.engine->StartupFailed();
    }
    return failed ? 1 : 0;
}

} // namespace

int run_modem_pool(const ModemPoolSettings& pool, EngineOptions& options, sigset_t& signals,
                   const std::function<void()>& reload) {
    PoolTrace trace;
    Clock& clock = real_clock();
    EngineEvents events(clock, trace, journal_dir, EngineEvents::keep_days_setting(trace));
    RecipientDispatcher dispatcher(pool.routes, clock);
    std::vector<PoolEngine> engines(pool.modems.size());
    for (std::size_t i = 0; i < pool.modems.size(); ++i) {
        const PoolModem& modem = pool.modems[i];
        PoolEngine& e = engines[i];
        e.seat = PoolSeat{modem.name, modem.section, i == 0, &dispatcher, &events};
        e.output = std::make_unique<PrintingOutput>(modem.name);
        std::fprintf(stderr, "pool: %s on %s\n", modem.name.c_str(), modem.com.c_str());
    }
    std::fflush(stderr);
    for (PoolEngine& e : engines) {
        e.engine = std::make_unique<myterad>(options, *e.output, clock, PortOpener{}, &e.seat);
        e.engine->Resume();
    }
    timespec poll_interval{0, 200 * 1000 * 1000};
    int status = 0;
    while (!all_finished(engines)) {
        int signal = sigtimedwait(&signals, nullptr, &poll_interval);
        if (signal == SIGHUP) {
            reload();
        } else if (signal > 0) {
            break;
        }
    }
    bool signalled = !all_finished(engines);
    for (PoolEngine& e : engines) {
        e.engine->Shutdown();
    }
    if (!signalled) {
        status = exit_status(engines);
    }
    events.end();
    return status;
}
