#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_set>

// How many of a message's recipients are on the opt-out list (./optout.txt), counted over the walk the
// queue makes of the recipients: a range member by member, a customer looked up in its category file,
// nothing after a '*' line. Each number is compared in canonical form, with COUNTRY of server.txt for
// national numbers. The list is read again only when the file has changed, so counting as the operator
// types costs a stat while it stays the same, and nothing more when there is no list.
class OptedOutRecipients {
public:
    // The count for a recipients box (GBK, as the compose tab holds it). 0 without a list, when the list
    // cannot be read, and for a box that stands for more recipients than one message may have.
    std::uint64_t count(const std::string& recipients_box);

private:
    // What tells one state of the file from another: a replaced file is a new inode.
    struct FileStamp {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long modified_ns = 0;
        bool operator==(const FileStamp&) const = default;
    };

    // The list's numbers in canonical form, read again when the stamp or the country changed.
    const std::unordered_set<std::string>& listedNumbers(const FileStamp& now, const std::string& country);

    std::optional<FileStamp> stamp_;
    std::string country_;
    std::unordered_set<std::string> numbers_;
};
