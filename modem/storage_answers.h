#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reading what a modem says about its message storages (AT+CPMS), and the notices that one of them is
// full.

// The storages a modem offers, as "AT+CPMS=?" lists them: for reading and deleting, for writing, and
// for receiving ("+CPMS: ("SM","ME"),("SM","ME"),("SM","ME")"). Names are upper case, at most
// `most_storages` in each list; nullopt when the answer holds no such line.
struct OfferedStorages {
    std::vector<std::string> read;
    std::vector<std::string> write;
    std::vector<std::string> receive;
};
inline constexpr std::size_t most_storages = 8;
std::optional<OfferedStorages> parse_storage_offer(std::string_view answer);

// How many messages a storage holds and how many it can hold.
struct StorageCounts {
    int used = 0;
    int total = 0;
    bool full() const { return total > 0 && used >= total; }
};

// The counts of the three storages an "AT+CPMS=..." answer gives ("+CPMS: 2,20,0,50,0,50"), in
// order; nullopt when the answer holds no such line or a number is out of range.
std::optional<std::vector<StorageCounts>> parse_storage_counts(std::string_view answer);

// Whether the text says that a message storage is full, and which. The notices taken: a "+CMS ERROR:
// 322" line (memory full), the indicator form "+CIEV: "SMSFULL",1" (also unquoted and in any letter
// case), Huawei's "^SMMEMFULL: "SM"" and Sierra Wireless' "+WMGF". The storage named ("SM"), "" when
// the notice names none (the receiving storage is meant); nullopt when there is no such notice.
std::optional<std::string> full_storage_notice(std::string_view text);
