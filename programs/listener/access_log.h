#pragma once

#include <cstdio>
#include <mutex>
#include <string>

// One line per request in log/HTTP<date>.log (text mode, like the engine's logs):
// "<date> <time> <token name or -> <remote address>:<port> <method> <path> <status>", the method and the
// path with blanks and control characters as %XX. The file of the day the request ends on is used, so the
// log turns over at midnight.
class AccessLog {
public:
    AccessLog() = default;
    ~AccessLog();
    AccessLog(const AccessLog&) = delete;
    AccessLog& operator=(const AccessLog&) = delete;

    void write(const std::string& token_name, const std::string& remote, const std::string& method,
               const std::string& path, int status);

private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::string date_;
    bool warned_ = false;
};
