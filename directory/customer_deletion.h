#pragma once

#include <string>
#include <string_view>

// The delete dialog's two deletions. They act on the category and the name as typed (GBK), not
// cleaned: a name typed with characters that cleaning removes matches nothing.

struct DeleteOutcome {
    std::string message; // to show before the dialog closes; empty when there is none
    bool close = true;   // false when the dialog stays open
};

// Removes the customer's entry from its category file and deletes its notes file. When either cannot be
// done the message says so and the dialog stays open; deleting again completes it.
[[nodiscard]] DeleteOutcome delete_customer(std::string_view category, std::string_view name);

// Deletes the notes file of every customer in the category's file and the file itself, and removes the
// category from the index. The dialog stays open when the category file cannot be read; the index entry
// is gone all the same. When a file cannot be deleted or the index cannot be written the message says
// so and the dialog stays open; deleting again completes it.
[[nodiscard]] DeleteOutcome delete_customer_group(std::string_view category);
