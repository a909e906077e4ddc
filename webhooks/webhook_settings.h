#pragma once

#include "platform/trace.h"

#include <set>
#include <string>
#include <vector>

// Section WEBHOOKS of server.txt: where the journal's events are POSTed.
//   URL=https://example.com/sms-events   (or URL1= ... URL9=, several receivers; http:// too)
//   SECRET=...                           the key of the HMAC-SHA256 signature (SECRET1= for URL1 ...)
//   EVENTS=received,sent,failed,delivered  the kinds sent (EVENTS1= ...); all kinds when not set
//   TIMEOUT=10                           seconds a receiver has to answer (1 to 60)
//   RETRY_FIRST=10  RETRY_MOST=3600      the first wait before a new attempt and the longest, in seconds
//   GIVE_UP=48                           hours of attempts before an event is parked (1 to 168)
struct WebhookTarget {
    std::string name; // the key it was read from: "URL", "URL1"...; names its cursor
    std::string url;
    std::string secret;
    std::set<std::string> kinds; // empty: every kind
};

struct WebhookSettings {
    std::vector<WebhookTarget> targets;
    int timeout_s = 10;
    int retry_first_s = 10;
    int retry_most_s = 3600;
    int give_up_h = 48;
    std::vector<std::string> problems; // what could not be taken, for the trace (never a secret)
};

// The kinds of events a receiver may ask for.
const std::set<std::string>& webhook_event_kinds();

// Whether `url` may be a receiver's address: http:// or https://, a host, printable ASCII without
// blanks, at most 2048 characters.
bool acceptable_webhook_url(const std::string& url);

WebhookSettings read_webhook_settings();
