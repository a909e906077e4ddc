#include "engine/myterad.h"

#include "engine/engine_context.h"
#include "engine/events/engine_events.h"
#include "engine/events/hook_feed.h"
#include "engine/incoming/delivery_reports.h"
#include "engine/incoming/inbox_pass.h"
#include "engine/incoming/storage_pass.h"
#include "engine/operator_texts.h"
#include "engine/outgoing/send_limiter.h"
#include "engine/outgoing/send_pass.h"
#include "engine/pool/pool_seat.h"
#include "engine/pool/pool_source.h"
#include "engine/report/engine_logs.h"
#include "engine/report/engine_status.h"
#include "engine/report/event_hooks.h"
#include "engine/report/persist.h"
#include "engine/send_source.h"
#include "engine/shared/shared_source.h"
#include "modem/indications.h"
#include "modem/init_commands.h"
#include "modem/link_recovery.h"
#include "modem/modem_identity.h"
#include "modem/registration_gate.h"
#include "modem/serial_link.h"
#include "modem/signal_watch.h"
#include "modem/sim_check.h"
#include "platform/gbk.h"
#include "platform/port_diagnosis.h"
#include "store/modem_pool_settings.h"
#include "store/settings.h"
#include "store/spool.h"
#include "webhooks/webhook_feeds.h"

#include <optional>

namespace {

// The engine's pauses: a checkpoint blocks while the thread is paused and ends it on shutdown. A pause
// shows in the status file while it lasts.
class ThreadPacer : public Pacer {
public:
    ThreadPacer(myterad& thread, EngineStatus& status) : thread_(thread), status_(status) {}
    void checkpoint() override {
        const bool pausing = thread_.pause_requested() && status_.state() != EngineRunState::PortFailed;
        const EngineRunState before = status_.state();
        if (pausing) {
            status_.set_state(EngineRunState::Paused);
        }
        if (!thread_.gate()) {
            throw EngineStopped{};
        }
        if (pausing) {
            status_.set_state(before);
        }
    }
    void sleep(int ms) override {
        checkpoint();
        if (!thread_.sleep_ms(ms)) {
            throw EngineStopped{};
        }
        checkpoint();
    }

private:
    myterad& thread_;
    EngineStatus& status_;
};

} // namespace

myterad::myterad(EngineOptions& options, OperatorOutput& output, Clock& clock, PortOpener opener, const PoolSeat* seat)
    : options_(options), output_(output), clock_(clock), opener_(std::move(opener)), seat_(seat) {
    if (!opener_) {
        opener_ = [](const std::string& path) { return port_open(path); };
    }
    thread_ = std::thread([this] { Execute(); });
}

myterad::~myterad() {
    Shutdown();
}

void myterad::Suspend() {
    std::lock_guard lock(mutex_);
    ++pause_count_;
    suspended_ = true;
}

void myterad::Resume() {
    std::lock_guard lock(mutex_);
    if (pause_count_ > 0) {
        if (--pause_count_ == 0 && !finished_) {
            suspended_ = false;
        }
    }
    wake_.notify_all();
}

bool myterad::Suspended() const {
    std::lock_guard lock(mutex_);
    return suspended_;
}

bool myterad::Finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

bool myterad::StartupFailed() const {
    std::lock_guard lock(mutex_);
    return startup_failed_;
}

bool myterad::NeedsOperator() const {
    std::lock_guard lock(mutex_);
    return needs_operator_;
}

void myterad::Terminate() {
    std::lock_guard lock(mutex_);
    terminate_ = true;
}

bool myterad::pause_requested() const {
    std::lock_guard lock(mutex_);
    return pause_count_ > 0 && !shutdown_;
}

bool myterad::terminate_requested() const {
    std::lock_guard lock(mutex_);
    return terminate_;
}

void myterad::Shutdown() {
    shutdown_signal_.request();
    {
        std::lock_guard lock(mutex_);
        shutdown_ = true;
        if (link_) {
            link_->interrupt();
        }
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void myterad::WaitFor() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return finished_; });
}

bool myterad::gate() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return pause_count_ == 0 || shutdown_; });
    return !shutdown_;
}

bool myterad::sleep_ms(int ms) {
    // The wait ends early when the engine must stop, so closing never waits out a long pause.
    if (!clock_.sleep_ms(ms, shutdown_signal_)) {
        return false;
    }
    return gate();
}

void myterad::finish(bool startup_failed, bool needs_operator) {
    std::lock_guard lock(mutex_);
    finished_ = true;
    startup_failed_ = startup_failed;
    needs_operator_ = needs_operator;
    suspended_ = true;
    wake_.notify_all();
}

void myterad::Execute() {
    if (!gate()) {
        finish(false);
        return;
    }
    // An engine of a pool reads its modem's keys from its modem's section of server.txt.
    ModemSectionScope modem_section(seat_ ? seat_->section : std::string());
    EngineLogs logs;
    EngineStatus status(clock_, logs);
    if (seat_) {
        logs.set_modem(seat_->modem, seat_->first ? "./sms.log" : pool_trace_path(seat_->modem));
        if (!seat_->first) {
            status.set_path(pool_status_path(seat_->modem));
        }
    }
    // Every event is journaled first; the state changes too, the last one included. The engines of a
    // pool share the pool's writer.
    std::optional<EngineEvents> own_events;
    EngineEvents& events = seat_ && seat_->events
                               ? *seat_->events
                               : own_events.emplace(clock_, logs, journal_dir, EngineEvents::keep_days_setting(logs));
    status.set_events(&events);
    ThreadPacer pacer(*this, status);
    std::unique_ptr<ModemLink> link;
    bool failed = false;
    std::optional<EngineRunState> halted;
    try {
        failed = !run(pacer, logs, status, events, link);
    } catch (const EngineStopped&) {
        logs.trace("engine stopped\n");
    } catch (const EngineHalted& halt) {
        logs.trace("engine stopped: the modem needs the operator\n");
        fail_startup(logs, halt.monitor);
        halted = halt.state;
    }
    status.set_state(halted ? *halted : failed ? EngineRunState::PortFailed : EngineRunState::Stopped);
    logs.close();
    if (link) {
        {
            std::lock_guard lock(mutex_);
            link_ = nullptr;
        }
        port_close(*link);
    }
    finish(failed || halted.has_value(), halted.has_value());
}

bool myterad::run(Pacer& pacer, EngineLogs& logs, EngineStatus& status, EngineEvents& events,
                  std::unique_ptr<ModemLink>& link) {
    LocalTime now = clock_.now();
    std::string day = spool_date(now);
    ensure_day_dirs(day);
    std::string com = read_setting(settings::com);
    std::string device = device_path_for(com);
    std::unique_ptr<SerialPort> port = opener_(device);
    logs.open(day, device);
    if (!port) {
        logs.trace("create com err. \n");
        // After the old words, what is wrong with the device and what to do about it.
        std::string cause = port_open_failure(device);
        tracef(logs, "%s\n", cause.c_str());
        fail_startup(
            logs,
            gbk("..数据线没有准备好，或COM口忙!\r\n数据线没有准备好，或COM口忙!请先关闭系统，检查后重试!\r\n\r\n") +
                cause + "\r\n");
        return false;
    }
    link = std::make_unique<ModemLink>(std::move(port), opener_, device);
    {
        std::lock_guard lock(mutex_);
        link_ = link.get();
        if (shutdown_) {
            link_->interrupt();
        }
    }
    std::string rate = read_setting(settings::rate);
    tracef(logs, "rate..%s\n", rate.c_str());
    bool accepted = port_configure(*link, rate_number(rate));
    tracef(logs, "SetCOM return..%d\n", accepted ? 1 : 0);
    if (!accepted && !options_.wider_compatibility.load()) {
        fail_startup(logs, gbk("...!!! 数据线没有准备好，或COM口忙!\r\n!!! 请先关闭系统，检查后重试!\r\n") + "1");
        return false;
    }
    // The hooks and the webhooks follow the event journal, each from its own cursor; in a pool, the
    // first modem's engine runs them for all.
    std::optional<HookRunner> hooks;
    std::optional<HookFeed> hook_feed;
    std::optional<WebhookFeeds> webhooks;
    if (!seat_ || seat_->first) {
        hooks.emplace(read_hook_settings(), logs);
        hook_feed.emplace(*hooks, events, logs);
        webhooks.emplace(read_webhook_settings(), events, logs);
    }
    std::unique_ptr<SendSource> source = open_send_source(logs);
    SendLimiter limiter = open_limiter(logs);
    EngineContext ctx{*link, clock_, pacer, options_, output_, logs, {}, &events, &status, source.get(), &limiter};
    ctx.gives_back_recipient = seat_ != nullptr;
    ctx.state.spool_date = day;
    ctx.state.port.device_name = device;
    ctx.state.port.com_setting = com;
    ctx.state.port.rate_setting = rate;
    ctx.stamp_time();
    // Long messages take their references on from a point that changes with every start, so a phone
    // that got one just before a restart does not join it with the next.
    ctx.state.content.concat_reference = static_cast<int>(seconds_of(now) % 256);
    status.started();
    if (!start_modem(ctx)) {
        return false;
    }
    while (true) {
        run_cycle(ctx);
        if (terminate_requested()) {
            return true;
        }
    }
}

// The shared queue when server.txt names a database, else the spool; settings it could not take go to
// the trace.
std::unique_ptr<SendSource> myterad::open_send_source(EngineLogs& logs) {
    if (seat_) {
        return std::make_unique<PoolSource>(*seat_->dispatcher, seat_->modem);
    }
    DbSettings settings = read_db_settings();
    for (const std::string& problem : settings.problems) {
        tracef(logs, "server.txt [DB] %s\n", problem.c_str());
    }
    if (!settings.on()) {
        return std::make_unique<SpoolSource>();
    }
    tracef(logs, "shared queue on %s as gateway %s\n", dsn_for_display(settings.dsn).c_str(), settings.gateway.c_str());
    return std::make_unique<SharedSource>(std::move(settings));
}

// server.txt's [LIMITS]; values it could not take go to the trace.
SendLimiter myterad::open_limiter(EngineLogs& logs) {
    SendLimits limits = read_send_limits();
    for (const std::string& problem : limits.problems) {
        tracef(logs, "server.txt [LIMITS] %s\n", problem.c_str());
    }
    // Each SIM of a pool is held by its own counts.
    return SendLimiter(std::move(limits), std::random_device{}(), seat_ ? seat_->modem : std::string());
}

void myterad::fail_startup(EngineLogs& logs, const std::string& monitor_text) {
    logs.close_trace();
    output_.set_caption("velmora SMS server ");
    output_.replace_monitor(monitor_text);
}

bool myterad::start_modem(EngineContext& ctx) {
    output_.set_caption(started_caption());
    output_.replace_monitor(gbk("系统已准备好，开始收发信息..................................!\r\n"));
    output_.prepend_monitor(">>>>>OK!\r\n");
    modem_startup_exchange(ctx);
    if (std::string other = identity_mismatch(ctx, wanted_identity()); !other.empty()) {
        // Another modem than server.txt names: nothing is sent through it or read from it.
        throw EngineHalted{EngineRunState::PortFailed, gbk("端口上的调制解调器不是 server.txt 设置的那一台（它回答 ") +
                                                           other +
                                                           gbk("）：请检查 COM、IMEI 或 ICCID，然后重新启动。\r\n")};
    }
    if (std::optional<EngineHalted> halt = unlock_sim(ctx)) {
        throw *halt;
    }
    if (std::optional<std::string> failed = run_init_commands(ctx)) {
        // The operator's set-up commands are part of the port's set-up: the engine does not go on
        // with a modem that refused one.
        fail_startup(ctx.logs, *failed);
        return false;
    }
    output_.prepend_monitor("OK!\r\n");
    return true;
}

myterad::Counters myterad::read_counters(EngineContext& ctx) {
    const std::string& day = ctx.state.spool_date;
    ensure_day_dirs(day);
    tracef(ctx.logs, "\n\n\n&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&%s\n===%s\n", gbk("开始").c_str(),
           counter_path(day, SpoolDir::Send).c_str());
    Counters c{read_counter(day, SpoolDir::Send), read_counter(day, SpoolDir::Recv), read_counter(day, SpoolDir::New)};
    tracef(ctx.logs, "accI_new=%ld,accI_recv=%ld,acc_send=%ld\n", c.queued, c.received, c.processed);
    return c;
}

void myterad::run_cycle(EngineContext& ctx) {
    Counters c = read_counters(ctx);
    if (c.processed == c.queued) {
        // The day is drained: the only place the engine moves on to a new day.
        ctx.state.spool_date = spool_date(clock_.now());
        c = read_counters(ctx);
    }
    sync_indications(ctx);
    prepare_inbox(ctx);
    watch_modem_status(ctx);
    bool nothing_sent = true;
    // A limit is only asked about (and said) when something waits for it.
    const bool waiting = ctx.source().may_have_waiting(c.processed, c.queued);
    try {
        if (!registration_allows_sending(ctx)) {
            // Held: nothing goes until the modem is registered again.
        } else if (!waiting || ctx.limiter->may_send_now(ctx)) {
            if (!waiting) {
                ctx.limiter->nothing_waiting(ctx);
            }
            nothing_sent = !ctx.source().send_waiting(ctx, c.processed, c.queued);
        } else if (ctx.limiter->replies_may_go(ctx)) {
            ctx.source().send_replies_ahead(ctx, c.processed, c.queued);
        }
    } catch (const SendingHeld&) {
        // The recipient that could not go now is the next one once the hold is over.
    }
    int received = run_inbox_pass(ctx);
    ctx.source().keep_received(ctx);
    // With fixed waits the exchanges pace the cycle; a responsive engine with nothing to do idles until
    // the modem or the queue has something for it.
    bool idle = nothing_sent && received == 0 && !ctx.state.indications.message_announced;
    if (idle && options_.responsive.load()) {
        wait_for_work(ctx);
    }
    take_pending_reports(ctx);
}
