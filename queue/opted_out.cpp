#include "queue/opted_out.h"

#include "queue/shared_enqueue.h"
#include "store/optout_list.h"
#include "store/phone_number.h"
#include "store/record_files.h"

#include <sys/stat.h>

OptedOutCount count_opted_out(const std::string& recipients_box) {
    OptedOutCount count;
    struct stat status {};
    count.list_present = ::stat(optout_path, &status) == 0;
    if (!count.list_present) {
        return count;
    }
    std::optional<OptOutList> list = read_optout_list();
    count.list_readable = list.has_value();
    std::optional<std::vector<std::string>> numbers =
        outbox_numbers(recipients_for_file(recipients_box), max_outbox_rows);
    if (!numbers) {
        return count;
    }
    count.recipients = numbers->size();
    if (!list) {
        count.opted_out = numbers->size();
        return count;
    }
    const std::string country = home_country();
    for (const std::string& number : *numbers) {
        if (list->holds(number, country)) {
            ++count.opted_out;
        }
    }
    return count;
}
