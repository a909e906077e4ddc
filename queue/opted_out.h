#pragma once

#include <cstddef>
#include <optional>
#include <string>

// What the writers (vmsms-send, the intake) tell about a message they queued: how many of its
// recipients are on the opt-out list (store/optout_list.h) and will get nothing. Recipients are counted
// as the gateway sends to them (customers looked up, ranges expanded, nothing after a '*' line); each
// number is compared in canonical form.
struct OptedOutCount {
    bool list_present = false; // ./optout.txt exists
    bool list_readable = true; // false: the gateway holds every recipient back until it can read it
    std::size_t recipients = 0;
    std::size_t opted_out = 0;
};

// `recipients_box` as the writers queue it (GBK). Nothing is counted when there is no list.
OptedOutCount count_opted_out(const std::string& recipients_box);
