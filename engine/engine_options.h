#pragma once

#include "store/settings.h"

#include <atomic>
#include <cstddef>

// The live engine options. The console (or vmsmsd's flags) sets them; the engine reads each at the
// moment of use. Nothing here is stored.
struct EngineOptions {
    std::atomic<DeviceType> device{DeviceType::Other}; // RadioButton1 / RadioButton2 / RadioButton5
    std::atomic<bool> retry{false};                    // CheckBox4: up to six attempts
    std::atomic<bool> pause_after_failure{false};      // CheckBox5: 7800 ms after a failed attempt (2000 ms responsive)
    std::atomic<bool> show_on_screen{false};           // CheckBox7: "0001" before the user data
    std::atomic<bool> fast_device{false};              // CheckBox1: shorter inbox waits (fixed waits only)
    std::atomic<bool> wider_compatibility{false};      // CheckBox6: go on after a rejected configuration
    std::atomic<bool> members_only{false};             // CheckBox3: replies to members only
    std::atomic<int> speed{5};                         // TrackBar1: 0 fast .. 10 slow
    // Exchanges end on the modem's answer (the prompt, the final result code) instead of fixed
    // sleeps, and the modem announces new messages. Off: the fixed waits.
    std::atomic<bool> responsive{false};
    // A content longer than one message goes as up to ten linked parts instead of being cut.
    std::atomic<bool> long_messages{false};
    // Every message asks the network for a report on its delivery; reports go to the delivery log.
    std::atomic<bool> delivery_reports{false};
    // The most the engine reads of one message listing; a modem that sends more is taken as faulty.
    std::atomic<std::size_t> max_listing_bytes{65536};
    // The longest one listing may take to read, in seconds, however slowly its bytes trickle in; a modem
    // still listing after it is taken as faulty. (With fixed waits every wait reads a full chunk or
    // ends the read, so at the default byte bound a listing a modem sends as fast as it is read takes
    // at most 64 waits of 3.1 s.)
    std::atomic<int> max_listing_seconds{240};
};
