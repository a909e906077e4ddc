#pragma once

#include <atomic>
#include <string>
#include <vector>

// One POST to a receiver, through libcurl: TLS verified against the system's certificates (and its
// host name), no redirect followed, nothing but http and https, at most `timeout_s` seconds in all.
struct HttpAnswer {
    int status = 0;    // the HTTP status; 0 when there was no answer
    std::string error; // why there was none (curl's words), for the trace
};

// `cancel` set ends a request under way (no answer, then).
HttpAnswer http_post(const std::string& url, const std::string& body, const std::vector<std::string>& headers,
                     int timeout_s, const std::atomic<bool>& cancel);
