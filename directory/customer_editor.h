#pragma once

#include "directory/category_record.h"

#include <optional>
#include <string>
#include <string_view>

// The customer tab's add, modify and look-up. Texts are GBK as typed in the boxes; notes hold CR LF line
// breaks, as the notes box gives them. Add and modify give back the message to show (GBK), empty when
// there is none.

struct CustomerInput {
    std::string category; // Edit8
    std::string name;     // Edit5
    std::string phone;    // Edit6
    std::string notes;    // Memo13
};

// Adds the customer to the category, creating the category when it is new, and makes the category the
// current one. A customer whose name exists already is left as it is, silently. When a file cannot be
// written the message says so, and adding again completes what was left undone.
[[nodiscard]] std::string customer_add(CategoryRecord& record, const CustomerInput& input);

// Gives the current category the typed name (its file stays), then writes the customer and its notes
// into the current category file when both name and phone are given. Refused before any category has
// been chosen. When a file cannot be written the message says so; modifying again completes it.
[[nodiscard]] std::string customer_modify(const CategoryRecord& record, const CustomerInput& input);

// What look-up puts into the boxes: a message instead when the category or the name is missing.
struct CustomerLookUp {
    std::string message;
    std::string phone; // for Edit6: "wwwwww" when the customer is not found
    std::string notes; // for Memo13: the notes file whole, or a no-such-customer text
    // False when the marker entry look-up writes into the index could not be written. The look-up
    // itself still holds: the marker only readies the index for the category trees.
    bool marker_written = true;
};
[[nodiscard]] CustomerLookUp customer_look_up(std::string_view category, std::string_view name);
