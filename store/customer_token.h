#pragma once

#include <optional>
#include <string>
#include <string_view>

// A recipient line that names an address-book customer: category name, the byte 0x02, customer name
// (GBK). The engine looks the number up in the category's file under "./cust/", so both names become
// parts of a file's path and an INI key: only names that stay inside "./cust/" are taken.

struct CustomerToken {
    std::string category;
    std::string customer;
};

// The token of a recipient line (the part before its first ';', the customer cut at its line end), or
// nullopt when the line holds no 0x02.
std::optional<CustomerToken> split_customer_token(std::string_view line);

// Whether a category or customer name may be used to find a file: not empty, no '/', not starting with
// '.', and no control byte (below 0x20, or 0x7F).
bool safe_token_name(std::string_view name);

// Both names safe.
bool safe_customer_token(const CustomerToken& token);
