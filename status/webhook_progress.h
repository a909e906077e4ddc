#pragma once

#include <cstddef>
#include <string>
#include <vector>

// How far each receiver of [WEBHOOKS] has come, as the files of the event journal tell it: its cursor
// (the last event accepted or parked), how many events of the journal lie after it, and how many it
// parked. Only receivers server.txt names now, with the address their cursor was kept for.
struct WebhookProgress {
    std::string name; // "URL", "URL1"...
    std::string url;
    long long through = 0; // the seq of the last event done with
    long long behind = 0;  // events of the journal after it (of every kind)
    std::size_t parked = 0;
};

std::vector<WebhookProgress> webhook_progress();
