#include "console/optout_count.h"

#include "queue/shared_enqueue.h"
#include "store/optout_list.h"
#include "store/phone_number.h"
#include "store/recipients.h"
#include "store/record_files.h"

#include <sys/stat.h>

namespace {

// What the list file is now; nothing when there is no list to read.
std::optional<struct stat> list_file_status() {
    struct stat status {};
    if (::stat(optout_path, &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return status;
}

} // namespace

const std::unordered_set<std::string>& OptedOutRecipients::listedNumbers(const FileStamp& now,
                                                                         const std::string& country) {
    if (stamp_ == now && country_ == country) {
        return numbers_;
    }
    numbers_.clear();
    if (std::optional<OptOutList> list = read_optout_list()) {
        numbers_ = std::move(list->numbers);
    }
    stamp_ = now;
    country_ = country;
    return numbers_;
}

std::uint64_t OptedOutRecipients::count(const std::string& recipients_box) {
    std::optional<struct stat> status = list_file_status();
    if (!status) {
        stamp_.reset();
        numbers_.clear();
        return 0;
    }
    const FileStamp now{status->st_dev, status->st_ino, status->st_size,
                        status->st_mtim.tv_sec * 1000000000LL + status->st_mtim.tv_nsec};
    const std::string country = home_country();
    const std::unordered_set<std::string>& listed = listedNumbers(now, country);
    if (listed.empty()) {
        return 0;
    }
    std::optional<std::vector<std::string>> numbers =
        outbox_numbers(recipients_for_file(recipients_box), max_message_recipients);
    if (!numbers) {
        return 0;
    }
    std::uint64_t on_list = 0;
    for (const std::string& number : *numbers) {
        std::optional<std::string> canonical = canonical_number(number, country);
        if (canonical && listed.count(*canonical) != 0) {
            ++on_list;
        }
    }
    return on_list;
}
