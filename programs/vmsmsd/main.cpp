// vmsmsd: the gateway's engine without a window, in the current directory.
// Caption changes and monitor entries go to standard error as UTF-8 lines (the journal, under
// systemd), in the order the engine writes them. SIGINT or SIGTERM stops it at the next safe point;
// SIGHUP reads server.txt's options again.

#include "engine/engine_options.h"
#include "engine/myterad.h"
#include "engine/operator_output.h"
#include "platform/fs.h"
#include "platform/gbk.h"
#include "platform/privileges.h"
#include "platform/program_options.h"
#include "platform/serial_port.h"
#include "platform/text_ops.h"
#include "status/gateway_report.h"
#include "store/db/db_schema.h"
#include "store/db/db_settings.h"
#include "store/modem_pool_settings.h"
#include "store/settings.h"
#include "vmsmsd/modem_pool_runner.h"
#include "vmsmsd/printing_output.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The exit status of an engine stopped by its SIM (locked, refused PIN, missing) or by another modem
// than server.txt names: the service unit
// does not restart on it, so a refused PIN is never entered again by itself.
constexpr int exit_needs_operator = 3;

// What vmsmsd's command line asks for, read once.
struct DaemonLine {
    EngineOptions engine;
    std::vector<std::string> users; // --user, in order
    bool status = false;
    bool json = false;
    bool init_db = false;
};

const char help_head[] =
    "usage: vmsmsd [OPTION]...\n"
    "Runs the gateway's send/receive engine without a window, in the working directory, whose\n"
    "server.txt names the modem's port as COM. Caption changes and monitor entries go to standard\n"
    "error as UTF-8 lines; SIGINT or SIGTERM stops it at its next safe point; SIGHUP reads the\n"
    "options server.txt keeps (RESPONSIVE, LONGSMS, REPORTS, MTYPE) again. Each option is the\n"
    "settings-tab control named in brackets.\n"
    "\n";

int usage() {
    std::fputs(
        "usage: vmsmsd [--dir PATH] [--device siemens|wavecom|other] [--retry] [--pause-after-failure]\n"
        "              [--user NAME] [--show-on-screen] [--fast-device] [--wider-compatibility] [--members-only]\n"
        "              [--speed 0..10] [--max-listing BYTES]\n"
        "              [--max-listing-time SECONDS] [--responsive] [--long] [--reports]\n"
        "              [--help] [--version]\n"
        "       vmsmsd [--dir PATH] --status [--json]\n"
        "       vmsmsd [--dir PATH] --init-db\n",
        stderr);
    return 2;
}

std::string take_device(const std::string& name, EngineOptions& options) {
    if (name == "siemens") {
        options.device = DeviceType::Siemens;
    } else if (name == "wavecom") {
        options.device = DeviceType::Wavecom;
    } else if (name == "other") {
        options.device = DeviceType::Other;
    } else {
        return "must be siemens, wavecom or other";
    }
    return "";
}

// The device type the window would select from MTYPE: 1, 2 or 3; anything else leaves it as it is.
void device_from_settings(EngineOptions& options) {
    long mtype = mtype_number(read_setting(settings::mtype));
    if (mtype >= 1 && mtype <= 3) {
        options.device = static_cast<DeviceType>(mtype);
    }
}

std::string take_speed(const std::string& text, EngineOptions& options) {
    char* end = nullptr;
    long speed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || speed < 0 || speed > 10) {
        return "must be 0 to 10";
    }
    options.speed = static_cast<int>(speed);
    return "";
}

std::string take_max_listing_time(const std::string& text, EngineOptions& options) {
    char* end = nullptr;
    long seconds = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || seconds < 1 || seconds > 3600) {
        return "must be 1 to 3600 seconds";
    }
    options.max_listing_seconds = static_cast<int>(seconds);
    return "";
}

std::string take_max_listing(const std::string& text, EngineOptions& options) {
    char* end = nullptr;
    long long bytes = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || bytes < 512) {
        return "must be a number of bytes of at least 512";
    }
    options.max_listing_bytes = static_cast<std::size_t>(bytes);
    return "";
}

OptionSpec set_flag(std::string name, std::string help, std::atomic<bool>& target) {
    return flag_option(std::move(name), std::move(help), [&target] { target = true; });
}

OptionSpec set_flag(std::string name, std::string help, bool& target) {
    return flag_option(std::move(name), std::move(help), [&target] { target = true; }).taken_early();
}

// An on/off option that server.txt's key sets when the command line leaves it out, and again on SIGHUP.
OptionSpec setting_flag(std::string name, std::string help, const Setting& setting, std::atomic<bool>& target) {
    return set_flag(std::move(name), std::move(help), target).from_setting(setting.key, [&setting, &target] {
        target = setting_is_on(setting);
    });
}

ProgramSpec daemon_spec(DaemonLine& line) {
    EngineOptions& engine = line.engine;
    ProgramSpec spec;
    spec.program = "vmsmsd";
    spec.help_head = help_head;
    spec.help_column = 27;
    spec.options = {
        dir_option("work in PATH instead of the current directory"),
        argument_option("--user", "NAME",
                        "started as root: become NAME (with its groups, dialout for the port)\n"
                        "before anything is opened",
                        [&line](const std::string& name) {
                            line.users.push_back(name);
                            return std::string();
                        })
            .taken_early(),
        argument_option("--device", "siemens|wavecom|other",
                        "the device type (SIEMENS手机系列 / WAVECOM系列 / NOKIA手机和其它系列);\n"
                        "default: {setting} of server.txt",
                        [&engine](const std::string& name) { return take_device(name, engine); })
            .from_setting(settings::mtype.key, [&engine] { device_from_settings(engine); }),
        set_flag("--retry", "up to six attempts per recipient (发送短信失败后重试)", engine.retry),
        set_flag("--pause-after-failure", "a pause after every failed attempt (防止连续空号堵塞)",
                 engine.pause_after_failure),
        set_flag("--show-on-screen", "messages shown on the phone's screen at once (短信直接显示到屏幕)",
                 engine.show_on_screen),
        set_flag("--fast-device", "shorter waits before each inbox read (我的发射设备CPU性能较好)", engine.fast_device),
        set_flag("--wider-compatibility", "go on when the port refuses the line rate (增大通用性)",
                 engine.wider_compatibility),
        set_flag("--members-only", "on-demand replies to members only (只有会员才回复, on the catalogue tab)",
                 engine.members_only),
        argument_option("--speed", "0..10",
                        "the speed bar (发送速度 快..慢): 0 is fastest, the shortest waits;\n"
                        "10 slowest; default {default}",
                        [&engine](const std::string& text) { return take_speed(text, engine); })
            .defaults_to("5"),
        argument_option("--max-listing", "BYTES",
                        "the most one inbox listing may hold before the modem counts as faulty\n"
                        "(at least 512; default {default})",
                        [&engine](const std::string& text) { return take_max_listing(text, engine); })
            .defaults_to("65536"),
        argument_option("--max-listing-time", "SECONDS",
                        "the longest one inbox listing may take to read, however slowly it comes,\n"
                        "before the modem counts as faulty (1 to 3600; default {default})",
                        [&engine](const std::string& text) { return take_max_listing_time(text, engine); })
            .defaults_to("240"),
        setting_flag("--responsive",
                     "wait for the modem's answers instead of fixed sleeps\n"
                     "(快速收发（按模块应答收发）; also {setting}=1 in server.txt)",
                     settings::responsive, engine.responsive),
        setting_flag("--long", "long messages as up to ten linked parts (长短信; also {setting}=1)",
                     settings::long_messages, engine.long_messages),
        setting_flag("--reports",
                     "ask for delivery reports, logged to log/DLVR<date>.log\n"
                     "(状态报告; also {setting}=1)",
                     settings::delivery_reports, engine.delivery_reports),
        set_flag("--status",
                 "print today's queued, sent, failed and received counts, the engine's\n"
                 "state and the modem's signal and registration, then exit",
                 line.status),
        set_flag("--json", "with --status: the same as one JSON object", line.json),
        set_flag("--init-db",
                 "create or upgrade the shared queue's tables in the database server.txt\n"
                 "names ([DB] DSN=postgresql://...), then exit",
                 line.init_db),
        help_option(),
        version_option(),
    };
    return spec;
}

bool is_option(const ReadWord& word, std::string_view name) {
    return word.option && word.option->name == name;
}

bool is_dir(const ReadWord& word) {
    return word.option && word.option->role == OptionRole::Dir;
}

// SIGHUP: the options server.txt keeps are read again, by the same declarations as at start, and take
// effect at their next use; the port and its line rate are taken at start only.
void reload_settings(const ProgramSpec& spec, const EngineOptions& options) {
    load_settings(spec, nullptr);
    std::fprintf(stderr,
                 "reload: server.txt read again: responsive=%d long=%d reports=%d device=%d "
                 "(COM and RATE take effect at the next start)\n",
                 options.responsive.load() ? 1 : 0, options.long_messages.load() ? 1 : 0,
                 options.delivery_reports.load() ? 1 : 0, static_cast<int>(options.device.load()));
    std::fflush(stderr);
}

// Without a port setting the engine would fall back to a default device that may be anything (often
// a serial console), so nothing starts until one is set.
bool port_is_set() {
    if (!file_exists("server.txt")) {
        std::fputs("vmsmsd: no server.txt in this directory: set the modem's port as COM in its [SET] section "
                   "(for example COM=/dev/ttyUSB0), then start again.\n",
                   stderr);
        return false;
    }
    if (!port_setting_present()) {
        std::fputs("vmsmsd: server.txt sets no COM: set the modem's port as COM in its [SET] section "
                   "(for example COM=/dev/ttyUSB0), then start again.\n",
                   stderr);
        return false;
    }
    return true;
}

// --status [--json]: what the engine of the directory is doing, read from its files; it runs in this
// process or in another, or none at all. After the first of --status and --json only they and --dir
// may follow, and --json needs --status.
int print_status(const DaemonLine& asked, const CommandLine& line) {
    bool seen = false;
    for (const ReadWord& word : line.words) {
        bool status_word = is_option(word, "--status") || is_option(word, "--json");
        if (seen && !status_word && !is_dir(word)) {
            return usage();
        }
        seen = seen || status_word;
    }
    if (!asked.status) {
        return usage();
    }
    GatewayReport report = current_gateway_report();
    std::string text = asked.json ? report_json(report, ReportReader::Local).dump(2) + "\n" : report_text(report);
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// --init-db: the shared queue's tables created or brought up to date.
int init_db() {
    DbSettings settings = read_db_settings();
    if (!settings.on()) {
        std::fputs("vmsmsd: server.txt names no database: set DSN=postgresql://... in its [DB] section\n", stderr);
        return 1;
    }
    std::unique_ptr<PgConnection> db = PgConnection::open(settings.dsn);
    if (!db->ok()) {
        std::fprintf(stderr, "vmsmsd: cannot reach the database %s: %s\n", dsn_for_display(settings.dsn).c_str(),
                     db->error().c_str());
        return 1;
    }
    MigrationOutcome outcome = migrate_schema(*db);
    if (!outcome.ok) {
        std::fprintf(stderr, "vmsmsd: the shared queue's tables were not changed: %s\n", outcome.error.c_str());
        return 1;
    }
    if (outcome.from == outcome.to) {
        std::printf("vmsmsd: the shared queue's tables are up to date (version %d)\n", outcome.to);
    } else {
        std::printf("vmsmsd: the shared queue's tables went from version %d to %d\n", outcome.from, outcome.to);
    }
    return 0;
}

// --init-db, with at most --dir beside it.
int initialise_database(const CommandLine& line) {
    for (const ReadWord& word : line.words) {
        if (!is_option(word, "--init-db") && !is_dir(word)) {
            return usage();
        }
    }
    return init_db();
}

} // namespace

int main(int argc, char** argv) {
    DaemonLine asked;
    ProgramSpec spec = daemon_spec(asked);
    CommandLine line = read_command_line(spec, argc, argv);
    // --dir is entered before server.txt is read for the other options' defaults.
    if (std::optional<int> status = settle_common_options(spec, line)) {
        return *status;
    }
    if (asked.status || asked.json) {
        return print_status(asked, line);
    }
    if (asked.init_db) {
        return initialise_database(line);
    }
    for (const std::string& user : asked.users) {
        if (!become_user("vmsmsd", user)) {
            return 1;
        }
    }
    if (line.error) {
        return usage();
    }
    load_settings(spec, &line);
    EngineOptions& options = asked.engine;
    if (!port_is_set()) {
        return 1;
    }
    // The signals are taken by this thread alone, so the engine thread is never interrupted by them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    // [MODEM2].. in server.txt: one engine per modem, over the one spool.
    ModemPoolSettings pool = read_modem_pool_settings();
    for (const std::string& problem : pool.problems) {
        std::fprintf(stderr, "vmsmsd: server.txt %s\n", problem.c_str());
    }
    if (pool.pooled()) {
        return run_modem_pool(pool, options, signals, [&] { reload_settings(spec, options); });
    }
    PrintingOutput output;
    myterad engine(options, output);
    engine.Resume();
    timespec poll_interval{0, 200 * 1000 * 1000};
    while (!engine.Finished()) {
        int signal = sigtimedwait(&signals, nullptr, &poll_interval);
        if (signal == SIGHUP) {
            reload_settings(spec, options);
        } else if (signal > 0) {
            engine.Shutdown();
            return 0;
        }
    }
    engine.Shutdown();
    if (engine.NeedsOperator()) {
        return exit_needs_operator;
    }
    return engine.StartupFailed() ? 1 : 0;
}
