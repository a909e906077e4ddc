#pragma once

#include <map>
#include <set>
#include <string>

// How far the modems of a pool are through the day's records, beyond what send/acc and send/pos say:
// for each record after the processed ones that has recipients done, how many are done from its start
// (in the order the walk meets them) and which are done after those. Kept in {day}/send/pool, one line
// per record ("<record> <prefix> <position>..."), and replaced atomically after every recipient, so a
// gateway that is killed sends again at most the recipients that were on their way.
struct RecordProgress {
    long prefix = 0;       // positions 0 .. prefix-1 are done
    std::set<long> beyond; // done positions at or after the prefix
};

using PoolProgress = std::map<long, RecordProgress>;

std::string pool_progress_path(const std::string& day);

// The day's progress; empty when there is none. Lines that do not read as progress are passed over,
// and a file past its bound is not read (the gateway then goes by send/acc and send/pos alone).
PoolProgress read_pool_progress(const std::string& day);

// Replaces the day's file; false when it could not be written.
[[nodiscard]] bool write_pool_progress(const std::string& day, const PoolProgress& progress);
