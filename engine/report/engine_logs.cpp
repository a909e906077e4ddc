#include "engine/report/engine_logs.h"

#include "store/report_logs.h"

#include "platform/fs.h"
#include "platform/text_file.h"

#include <cerrno>
#include <cstring>

namespace {

const char* const log_dir = "./log";

// Unbuffered, so every line leaves in a single write() however long it is; the flush after it is then only
// a safeguard. Modes carry 'e' (close on exec): the companion programs the console starts must not inherit
// the engine's log files.
std::FILE* open_unbuffered(const std::string& path, const char* mode) {
    std::FILE* file = std::fopen(path.c_str(), mode);
    if (file != nullptr) {
        std::setvbuf(file, nullptr, _IONBF, 0);
    }
    return file;
}

} // namespace

EngineLogs::~EngineLogs() {
    close();
}

void EngineLogs::open(const std::string& start_spool_date, const std::string& device_name) {
    close();
    std::lock_guard lock(mutex_);
    trace_ = open_unbuffered(trace_path_, "wbe");
    append(trace_, "com=..." + device_name + "\n");
    make_dir(log_dir);
    const std::string prefix = std::string(log_dir) + "/";
    start_date_ = start_spool_date;
    open_report(success_, prefix + "SUCC" + start_spool_date + ".log");
    open_report(failure_, prefix + "FAIL" + start_spool_date + ".log");
    open_report(received_, prefix + "RECV" + start_spool_date + ".log");
}

void EngineLogs::set_modem(const std::string& modem, const std::string& trace_path) {
    std::lock_guard lock(mutex_);
    modem_suffix_ = "   " + modem;
    trace_path_ = trace_path;
}

void EngineLogs::open_report(std::FILE*& file, const std::string& path) {
    file = open_unbuffered(path, "abe");
    if (file == nullptr) {
        // Without this line nobody would learn why a day's report stays empty while messages go out.
        const std::string why = std::strerror(errno);
        append(trace_, "report log " + path + " cannot be opened (" + why + "), its lines are dropped\n");
    }
}

void EngineLogs::trace(std::string_view text) {
    std::lock_guard lock(mutex_);
    append(trace_, text);
}

void EngineLogs::report_success(int record, int index, const std::string& time_text, const std::string& phone,
                                const std::string& content) {
    std::lock_guard lock(mutex_);
    append(success_, with_modem(report_line_text(record, index, time_text, phone, content)));
}

void EngineLogs::report_failure(int record, int index, const std::string& time_text, const std::string& phone,
                                const std::string& content) {
    std::lock_guard lock(mutex_);
    append(failure_, with_modem(report_line_text(record, index, time_text, phone, content)));
}

void EngineLogs::report_delivery(int record, int index, const std::string& time_text, const std::string& phone,
                                 const std::string& outcome) {
    std::lock_guard lock(mutex_);
    if (delivery_ == nullptr && !start_date_.empty()) {
        open_report(delivery_, std::string(log_dir) + "/DLVR" + start_date_ + ".log");
    }
    append(delivery_, with_modem(report_line_text(record, index, time_text, phone, outcome)));
}

void EngineLogs::report_received(int number, const std::string& time_text, const std::string& sender,
                                 const std::string& text) {
    std::lock_guard lock(mutex_);
    append(received_, with_modem(std::to_string(number) + "," + time_text + "   " + sender + "   " + text + "\r\n"));
}

void EngineLogs::close_trace() {
    std::lock_guard lock(mutex_);
    close_file(trace_);
}

void EngineLogs::close_reports() {
    std::lock_guard lock(mutex_);
    close_file(success_);
    close_file(failure_);
    close_file(received_);
    close_file(delivery_);
}

void EngineLogs::close() {
    close_trace();
    close_reports();
}

// A report line with the pool's modem name before its line end; as it was without a pool.
std::string EngineLogs::with_modem(std::string line) const {
    if (!modem_suffix_.empty() && line.ends_with("\r\n")) {
        line.insert(line.size() - 2, modem_suffix_);
    }
    return line;
}

// Write errors (a full disk) are ignored on purpose: the logs must never change what the engine does.
void EngineLogs::append(std::FILE* file, std::string_view text) {
    if (file == nullptr) {
        return;
    }
    // The engines of a pool append to the same report logs: one line at a time in the whole process.
    static std::mutex process_wide;
    std::lock_guard lines(process_wide);
    const std::string bytes = to_text_mode(text);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fflush(file);
}

void EngineLogs::close_file(std::FILE*& file) {
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
    }
}
