#pragma once

#include "directory/category_record.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the customer tab's lists and the address book read from the customer directory. Names are GBK.

struct CategoryTree {
    std::vector<std::string> names; // in file order; empty when there is no index
    // False when the lists' marker could not be written into the index. The names are read all the
    // same: the marker is only there to give an index made by hand its second line.
    bool marker_written = true;
};

// The categories of the index as the two category trees show them. Writes the lists' marker into the
// index first, so an index made by hand gains one.
[[nodiscard]] CategoryTree category_tree_names();

// Selecting a category in the customer tab's tree: the record follows the node.
void select_category(CategoryRecord& record, std::string_view node_text);

struct CustomerRow {
    int number = 0; // the line number after the marker, blank lines counted
    std::string name;
    std::string phone;
    std::string notes; // the notes file's lines joined, line ends kept, at most 999 bytes
};

// The customers of a category file in file order, each handed to `on_row`, which returns false to
// stop. A customer whose notes file is missing is listed with empty notes.
void customer_list(std::string_view file, const std::function<bool(const CustomerRow&)>& on_row);

// What selecting a customer puts into the notes box: the notes with CR LF line breaks, or nullopt when
// the notes file cannot be opened.
std::optional<std::string> customer_notes_for_box(std::string_view file, std::string_view name);

// Choosing a category in the address book: the record's file follows the node, and the customer names
// of that file come back in file order.
std::vector<std::string> choose_address_book_category(CategoryRecord& record, std::string_view node_text);
