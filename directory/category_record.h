#pragma once

#include <string>

// The current category record, one for the whole window: the customer tab and the address book both
// set it, and the customer list, row selection and modify work on it. GBK; both fields are empty until
// a category is chosen.
struct CategoryRecord {
    std::string file;          // the current category file name, up to 99 bytes
    std::string selected_name; // the category last selected in the customer tab's tree
};
