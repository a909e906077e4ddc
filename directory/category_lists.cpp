#include "directory/category_lists.h"

#include "platform/ini_file.h"

#include "directory/customer_names.h"
#include "platform/fs.h"
#include "platform/gbk.h"
#include "store/customer_files.h"
#include "store/directory_files.h"

namespace {

constexpr std::size_t record_buffer = max_name_bytes + 1;
constexpr std::size_t list_text_limit = 999;

// The file name of the category the node names; a node whose category has left the index names the
// list sentinel, which normally is no file.
std::string file_of_node(std::string_view node_text) {
    return category_index_read(node_text, absent_for_list, record_buffer);
}

std::string with_crlf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') {
            out.push_back('\r');
        }
        out.push_back(c);
    }
    return out;
}

} // namespace

CategoryTree category_tree_names() {
    CategoryTree tree;
    // Before the first customer there is no customer folder: no index to mark, and nothing failed.
    if (file_exists(customer_dir)) {
        tree.marker_written = write_marker(category_index_file, customer_section, marker_by_list_fill);
    }
    if (auto lines = read_directory_keys(category_index_file)) {
        for (auto& line : *lines) {
            tree.names.push_back(std::move(line.key));
        }
    }
    return tree;
}

void select_category(CategoryRecord& record, std::string_view node_text) {
    record.file = file_of_node(node_text);
    record.selected_name = node_text;
}

void customer_list(std::string_view file, const std::function<bool(const CustomerRow&)>& on_row) {
    if (!usable_category_file(file)) {
        return; // an empty name would open "./cust/" itself, "custindex" the index
    }
    const std::string path = category_file_path(file);
    auto lines = read_directory_keys(path);
    if (!lines) {
        return;
    }
    IniSnapshot category(path); // one parse for the whole list
    for (auto& line : *lines) {
        CustomerRow row{line.number, std::move(line.key), {}, {}};
        row.phone = category.read(customer_section, row.name, absent_for_list, list_text_limit + 1);
        // A missing notes file leaves this row without notes; the customers after it are still listed.
        if (auto notes = read_notes(file, row.name)) {
            row.notes = std::string(gbk_prefix(*notes, list_text_limit));
        }
        if (!on_row(row)) {
            return;
        }
    }
}

std::optional<std::string> customer_notes_for_box(std::string_view file, std::string_view name) {
    auto notes = read_notes(file, name);
    if (!notes) {
        return std::nullopt;
    }
    return with_crlf(*notes);
}

std::vector<std::string> choose_address_book_category(CategoryRecord& record, std::string_view node_text) {
    record.file = file_of_node(node_text);
    std::vector<std::string> names;
    if (!usable_category_file(record.file)) {
        return names;
    }
    if (auto lines = read_directory_keys(category_file_path(record.file))) {
        for (auto& line : *lines) {
            names.push_back(std::move(line.key));
        }
    }
    return names;
}
