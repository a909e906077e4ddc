#include "access_log.h"

#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/text_file.h"

#include <cerrno>
#include <cstring>

namespace {

// The method and the path are the client's text: blanks and control characters would break the line
// into fields that are not there, so they are written as %XX; an empty one as "-".
std::string log_field(const std::string& text) {
    if (text.empty()) {
        return "-";
    }
    std::string safe;
    for (unsigned char c : text) {
        if (c <= ' ' || c == 0x7f) {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            safe += escaped;
        } else {
            safe += static_cast<char>(c);
        }
    }
    return safe;
}

} // namespace

AccessLog::~AccessLog() {
    if (file_) {
        std::fclose(file_);
    }
}

void AccessLog::write(const std::string& token_name, const std::string& remote, const std::string& method,
                      const std::string& path, int status) {
    LocalTime now = real_clock().now();
    std::string date = spool_date(now);
    std::string line = date_time_text(now) + " " + token_name + " " + remote + " " + log_field(method) + " " +
                       log_field(path) + " " + std::to_string(status) + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_ || date != date_) {
        if (file_) {
            std::fclose(file_);
        }
        make_dir("log");
        std::string name = "log/HTTP" + date + ".log";
        file_ = std::fopen(name.c_str(), "ab");
        date_ = date;
        if (!file_) {
            // Said once; every request tries the file again, so the log resumes when it can be opened.
            if (!warned_) {
                std::fprintf(stderr, "vmsms-listener: cannot open %s: %s; requests go unlogged\n", name.c_str(),
                             std::strerror(errno));
                warned_ = true;
            }
            return;
        }
    }
    std::string bytes = to_text_mode(line);
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() || std::fflush(file_) != 0) {
        if (!warned_) {
            std::fprintf(stderr, "vmsms-listener: cannot write log/HTTP%s.log: %s\n", date_.c_str(),
                         std::strerror(errno));
            warned_ = true;
        }
        std::clearerr(file_);
        return;
    }
    warned_ = false;
}
