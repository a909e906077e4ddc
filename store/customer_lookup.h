#pragma once

#include "platform/trace.h"

#include <string>

// The phone number a recipient line names: a plain number stands for itself; a customer token
// (category, byte 2, customer) is looked up in the category file, and a missing file or customer gives
// the customer name itself. Anything from the first ';' on is dropped. Writes the resolution's trace.
// A token whose names could lead out of the address book (store/customer_token.h) is not looked up.
struct ResolvedRecipient {
    std::string customer; // the customer name (the whole name part for a plain number)
    std::string phone;
    bool unsafe = false; // an unsafe token: nothing was read, nothing may be sent
};
ResolvedRecipient resolve_recipient(const std::string& recipient, TraceSink& trace);
