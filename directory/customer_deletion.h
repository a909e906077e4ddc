#pragma once

#include <string>
#include <string_view>

// The delete dialog's two deletions. They act on the category and the name as typed (GBK), not
// cleaned: a name typed with characters that cleaning removes matches nothing.

struct DeleteOutcome {
    std::string message; // to show before the dialog closes; empty when there is none
    bool close = true;   // false when the dialog stays open
};

// Removes the customer's entry from its category file and deletes its notes file.
DeleteOutcome delete_customer(std::string_view category, std::string_view name);

// Removes the category from the index, then deletes the notes file of every customer in its file and
// the file itself. The dialog stays open when the category file cannot be read; the index entry is
// gone all the same.
DeleteOutcome delete_customer_group(std::string_view category);
