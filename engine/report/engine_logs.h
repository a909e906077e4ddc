#pragma once

#include "platform/trace.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

// The four files the engine writes while it runs: the trace log ./sms.log, emptied at every start, and the
// three daily report logs under ./log, appended to across runs of the same start day. All four are text
// mode ("\n" stored as "\r\n"); each line goes out in one write and is flushed at once, so another program
// reading the files sees every finished line and an abrupt end loses nothing already reported.
//
// A file that cannot be opened never stops the engine: its lines are dropped. For a report log this is
// said once in the trace when it is opened.
class EngineLogs : public TraceSink {
public:
    EngineLogs() = default;
    ~EngineLogs() override;
    EngineLogs(const EngineLogs&) = delete;
    EngineLogs& operator=(const EngineLogs&) = delete;

    // Opens the trace (emptied) and writes "com=...<device_name>" to it, creates ./log and opens
    // SUCC<date>.log, FAIL<date>.log and RECV<date>.log for appending. The names keep this date for the
    // whole run, even past midnight. Opening again closes the previous files first.
    void open(const std::string& start_spool_date, const std::string& device_name);
    // In a pool of modems, before open: every report line ends in "   <modem>" (the modem that sent or
    // received it), and the trace is `trace_path` (the first modem keeps ./sms.log).
    void set_modem(const std::string& modem, const std::string& trace_path);

    // One trace text, as given (it carries its own line ends).
    void trace(std::string_view text) override;

    // "<record>.<index>,<time>   <phone>    <content>\r\n" to the success or the failure log.
    void report_success(int record, int index, const std::string& time_text, const std::string& phone,
                        const std::string& content);
    void report_failure(int record, int index, const std::string& time_text, const std::string& phone,
                        const std::string& content);
    // "<record>.<index>,<time>   <phone>    <outcome>\r\n" to the delivery log DLVR<date>.log, which is
    // opened with the first report (so a run without delivery reports makes no such file).
    void report_delivery(int record, int index, const std::string& time_text, const std::string& phone,
                         const std::string& outcome);
    // "<number>,<time>   <sender>   <text>\r\n" to the received log.
    void report_received(int number, const std::string& time_text, const std::string& sender, const std::string& text);

    // The engine's failure paths close the trace before the report logs, so both halves are offered apart.
    // Closing what is already closed does nothing; later lines to a closed file are dropped.
    void close_trace();
    void close_reports();
    void close();

private:
    void open_report(std::FILE*& file, const std::string& path);
    void append(std::FILE* file, std::string_view text);
    std::string with_modem(std::string line) const;
    static void close_file(std::FILE*& file);

    // Only the engine writes, but closing the window closes the logs from the GUI thread.
    std::mutex mutex_;
    std::FILE* trace_ = nullptr;
    std::FILE* success_ = nullptr;
    std::FILE* failure_ = nullptr;
    std::FILE* received_ = nullptr;
    std::FILE* delivery_ = nullptr;
    std::string start_date_;
    std::string modem_suffix_; // "   MODEM2" in a pool, else empty
    std::string trace_path_ = "./sms.log";
};
