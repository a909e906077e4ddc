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
#include "platform/program_info.h"
#include "platform/serial_port.h"
#include "platform/text_ops.h"
#include "status/gateway_report.h"
#include "store/db/db_schema.h"
#include "store/db/db_settings.h"
#include "store/settings.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Prints every change; keeps the monitor's length as the window counts it (GBK bytes).
class PrintingOutput : public OperatorOutput {
public:
    void set_caption(const std::string& text) override { print("caption: ", text); }
    void replace_monitor(const std::string& text) override {
        std::lock_guard lock(mutex_);
        length_ = units(text);
        print_locked("monitor-reset: ", text);
    }
    void prepend_monitor(const std::string& text) override {
        std::lock_guard lock(mutex_);
        length_ += units(text);
        print_locked("monitor: ", text);
    }
    std::size_t monitor_length() override {
        std::lock_guard lock(mutex_);
        return length_;
    }

private:
    static std::size_t units(const std::string& gbk_text) { return gbk_text.size(); }
    void print(const char* tag, const std::string& text) {
        std::lock_guard lock(mutex_);
        print_locked(tag, text);
    }
    // One output line per line of the text, each tagged, without the CR of the Windows line ends.
    void print_locked(const char* tag, const std::string& text) {
        std::string utf8 = gbk_to_utf8_lossy(text);
        std::vector<std::string_view> lines = split_at_line_feeds(utf8);
        if (lines.back().empty()) {
            lines.pop_back(); // a final line break starts no line of its own
        }
        for (std::string_view line : lines) {
            while (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            std::fprintf(stderr, "%s%.*s\n", tag, static_cast<int>(line.size()), line.data());
        }
        std::fflush(stderr);
    }

    std::mutex mutex_;
    std::size_t length_ = 0;
};

const char help_text[] =
    "usage: vmsmsd [OPTION]...\n"
    "Runs the gateway's send/receive engine without a window, in the working directory, whose\n"
    "server.txt names the modem's port as COM. Caption changes and monitor entries go to standard\n"
    "error as UTF-8 lines; SIGINT or SIGTERM stops it at its next safe point; SIGHUP reads the\n"
    "options server.txt keeps (RESPONSIVE, LONGSMS, REPORTS, MTYPE) again. Each option is the\n"
    "settings-tab control named in brackets.\n"
    "\n"
    "  --dir PATH               work in PATH instead of the current directory\n"
    "  --user NAME              started as root: become NAME (with its groups, dialout for the port)\n"
    "                           before anything is opened\n"
    "  --device siemens|wavecom|other\n"
    "                           the device type (SIEMENS手机系列 / WAVECOM系列 / NOKIA手机和其它系列);\n"
    "                           default: MTYPE of server.txt\n"
    "  --retry                  up to six attempts per recipient (发送短信失败后重试)\n"
    "  --pause-after-failure    a pause after every failed attempt (防止连续空号堵塞)\n"
    "  --show-on-screen         messages shown on the phone's screen at once (短信直接显示到屏幕)\n"
    "  --fast-device            shorter waits before each inbox read (我的发射设备CPU性能较好)\n"
    "  --wider-compatibility    go on when the port refuses the line rate (增大通用性)\n"
    "  --members-only           on-demand replies to members only (只有会员才回复, on the catalogue tab)\n"
    "  --speed 0..10            the speed bar (发送速度 快..慢): 0 is fastest, the shortest waits;\n"
    "                           10 slowest; default 5\n"
    "  --max-listing BYTES      the most one inbox listing may hold before the modem counts as faulty\n"
    "                           (at least 512; default 65536)\n"
    "  --responsive             wait for the modem's answers instead of fixed sleeps\n"
    "                           (快速收发（按模块应答收发）; also RESPONSIVE=1 in server.txt)\n"
    "  --long                   long messages as up to ten linked parts (长短信; also LONGSMS=1)\n"
    "  --reports                ask for delivery reports, logged to log/DLVR<date>.log\n"
    "                           (状态报告; also REPORTS=1)\n"
    "  --status                 print today's queued, sent, failed and received counts, the engine's\n"
    "                           state and the modem's signal and registration, then exit\n"
    "  --json                   with --status: the same as one JSON object\n"
    "  --init-db                create or upgrade the shared queue's tables in the database server.txt\n"
    "                           names ([DB] DSN=postgresql://...), then exit\n"
    "  --help                   show this text and exit\n"
    "  --version                show the version and exit\n";

int usage() {
    std::fputs(
        "usage: vmsmsd [--dir PATH] [--device siemens|wavecom|other] [--retry] [--pause-after-failure]\n"
        "              [--user NAME] [--show-on-screen] [--fast-device] [--wider-compatibility] [--members-only]\n"
        "              [--speed 0..10] [--max-listing BYTES] [--responsive] [--long] [--reports]\n"
        "              [--help] [--version]\n"
        "       vmsmsd [--dir PATH] --status [--json]\n"
        "       vmsmsd [--dir PATH] --init-db\n",
        stderr);
    return 2;
}

bool parse_device(const std::string& name, EngineOptions& options) {
    if (name == "siemens") {
        options.device = DeviceType::Siemens;
    } else if (name == "wavecom") {
        options.device = DeviceType::Wavecom;
    } else if (name == "other") {
        options.device = DeviceType::Other;
    } else {
        return false;
    }
    return true;
}

// The device type the window would select from MTYPE: 1, 2 or 3; anything else leaves "other".
void device_from_settings(EngineOptions& options) {
    long mtype = mtype_number(read_setting(settings::mtype));
    if (mtype >= 1 && mtype <= 3) {
        options.device = static_cast<DeviceType>(mtype);
    }
}

bool parse_options(int argc, char** argv, EngineOptions& options) {
    device_from_settings(options);
    options.responsive = setting_is_on(settings::responsive);
    options.long_messages = setting_is_on(settings::long_messages);
    options.delivery_reports = setting_is_on(settings::delivery_reports);
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--device" && i + 1 < argc) {
            if (!parse_device(argv[++i], options)) {
                return false;
            }
        } else if (arg == "--speed" && i + 1 < argc) {
            char* end = nullptr;
            long speed = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || speed < 0 || speed > 10) {
                return false;
            }
            options.speed = static_cast<int>(speed);
        } else if (arg == "--max-listing" && i + 1 < argc) {
            char* end = nullptr;
            long long bytes = std::strtoll(argv[++i], &end, 10);
            if (*end != '\0' || bytes < 512) {
                return false;
            }
            options.max_listing_bytes = static_cast<std::size_t>(bytes);
        } else if (arg == "--retry") {
            options.retry = true;
        } else if (arg == "--pause-after-failure") {
            options.pause_after_failure = true;
        } else if (arg == "--show-on-screen") {
            options.show_on_screen = true;
        } else if (arg == "--fast-device") {
            options.fast_device = true;
        } else if (arg == "--wider-compatibility") {
            options.wider_compatibility = true;
        } else if ((arg == "--dir" || arg == "--user") && i + 1 < argc) {
            ++i; // taken before the others
        } else if (arg == "--members-only") {
            options.members_only = true;
        } else if (arg == "--responsive") {
            options.responsive = true;
        } else if (arg == "--long") {
            options.long_messages = true;
        } else if (arg == "--reports") {
            options.delivery_reports = true;
        } else {
            return false;
        }
    }
    return true;
}

// SIGHUP: the options server.txt keeps are read again and take effect at their next use; the port and
// its line rate are taken at start only.
void reload_settings(EngineOptions& options) {
    device_from_settings(options);
    options.responsive = setting_is_on(settings::responsive);
    options.long_messages = setting_is_on(settings::long_messages);
    options.delivery_reports = setting_is_on(settings::delivery_reports);
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
// process or in another, or none at all. Nullopt when the command line asks for no status.
std::optional<int> print_status(int argc, char** argv) {
    bool status = false;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--status") {
            status = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--dir") {
            ++i;
        } else if (status || json) {
            return usage();
        }
    }
    if (!status && !json) {
        return std::nullopt;
    }
    if (!status) {
        return usage();
    }
    GatewayReport report = current_gateway_report();
    std::string text = json ? report_json(report, ReportReader::Local).dump(2) + "\n" : report_text(report);
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

// --init-db, with at most --dir beside it; nullopt when the command line does not ask for it.
std::optional<int> initialise_database(int argc, char** argv) {
    bool asked = false;
    bool others = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--init-db") {
            asked = true;
        } else if (arg == "--dir") {
            ++i;
        } else {
            others = true;
        }
    }
    if (!asked) {
        return std::nullopt;
    }
    return others ? usage() : init_db();
}

} // namespace

int main(int argc, char** argv) {
    // --dir is entered before server.txt is read for the other options' defaults.
    if (std::optional<int> status = common_options("vmsmsd", argc, argv, help_text)) {
        return *status;
    }
    if (std::optional<int> status = print_status(argc, argv)) {
        return *status;
    }
    if (std::optional<int> status = initialise_database(argc, argv)) {
        return *status;
    }
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--user" && !become_user("vmsmsd", argv[i + 1])) {
            return 1;
        }
    }
    EngineOptions options;
    if (!parse_options(argc, argv, options)) {
        return usage();
    }
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

    PrintingOutput output;
    myterad engine(options, output);
    engine.Resume();
    timespec poll_interval{0, 200 * 1000 * 1000};
    while (!engine.Finished()) {
        int signal = sigtimedwait(&signals, nullptr, &poll_interval);
        if (signal == SIGHUP) {
            reload_settings(options);
        } else if (signal > 0) {
            engine.Shutdown();
            return 0;
        }
    }
    engine.Shutdown();
    return engine.StartupFailed() ? 1 : 0;
}
