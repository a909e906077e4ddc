#include "store/customer_lookup.h"

#include "platform/text_ops.h"
#include "store/customer_files.h"
#include "store/customer_token.h"

ResolvedRecipient resolve_recipient(const std::string& recipient, TraceSink& trace) {
    std::string name_part = recipient.substr(0, recipient.find(';'));
    std::string category = name_part;
    std::string customer = name_part;
    std::size_t mark = name_part.find('\x02');
    tracef(trace, "weizhi=[%d][%s]\n", mark == std::string::npos ? -1 : static_cast<int>(mark),
           name_part.substr(0, mark).c_str());
    if (mark != std::string::npos) {
        category = name_part.substr(0, mark);
        customer = name_part.substr(mark + 1);
        tracef(trace, "weizhi=[%d][%s]\n", static_cast<int>(mark + 1), customer.c_str());
    }
    customer = cut_at_line_end(customer);
    tracef(trace, "name3=[%s]\n", customer.c_str());
    if (mark != std::string::npos && !safe_customer_token({category, customer})) {
        tracef(trace, "unsafe customer token, not looked up=[%s]\n", customer.c_str());
        return {customer, customer, true};
    }
    return {customer, category_read(category, customer, customer, 512)};
}
