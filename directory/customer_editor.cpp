#include "directory/customer_editor.h"

#include "directory/customer_names.h"
#include "directory/write_failure.h"
#include "platform/gbk.h"
#include "store/customer_files.h"
#include "store/directory_files.h"

namespace {

// Room for a name of the current category record.
constexpr std::size_t record_buffer = max_name_bytes + 1;

bool too_short(std::string_view text) {
    return text.size() < 2;
}

bool write_index_marker() {
    return write_marker(category_index_file, customer_section, marker_by_editor);
}

// A customer name that can be a key and a part of its notes file's name in `file`.
bool usable_customer_in(std::string_view file, std::string_view name_key) {
    return usable_customer_name(name_key) && notes_path_fits(file, name_key);
}

// The category file an add writes to: the index's value for a known category, else the category's own
// (cleaned) name. nullopt when the index names no usable file.
std::optional<std::string> file_for_add(std::string_view category_key) {
    std::string value = category_index_read(category_key, absent_for_category_test, record_buffer);
    if (value == absent_for_category_test) {
        return std::string(category_key);
    }
    if (!usable_category_file(value)) {
        return std::nullopt;
    }
    return value;
}

// The notes go first: a customer whose entry is in the category file has its notes, even for a list
// that reads the file while this writes, and a failed notes file leaves the entry as it was, so adding
// again finds the customer absent and writes both. A notes file left by a failed entry is no customer
// of the list and is written over by the next try.
bool write_customer(std::string_view file, std::string_view name_key, const CustomerInput& input) {
    return write_notes(file, name_key, input.notes) && category_write(file, name_key, input.phone);
}

} // namespace

std::string customer_add(CategoryRecord& record, const CustomerInput& input) {
    make_customer_dir();
    if (too_short(input.name) || too_short(input.phone) || too_short(input.category)) {
        return data_missing_message();
    }
    // Names become file names: what cleaning leaves must still name a file of its own, and the notes
    // file's path must fit, or nothing is written at all.
    std::string category_key = clean_file_name(input.category);
    std::string name_key = clean_file_name(input.name);
    if (!usable_category_file(category_key)) {
        return data_missing_message();
    }
    std::optional<std::string> file = file_for_add(category_key);
    if (!file || !usable_customer_in(*file, name_key)) {
        return data_missing_message();
    }

    // The markers give each file the second line the lists drop; a file without one would hide its
    // first entry from them, so a marker that cannot be written stops the add like any other write.
    if (!write_index_marker() || !category_index_write(category_key, *file)) {
        return write_failed_message();
    }
    record.file = *file;
    if (!write_marker(category_file_path(*file), customer_section, marker_by_editor)) {
        return write_failed_message();
    }
    if (category_read(*file, name_key, absent_for_edit, 10) != absent_for_edit) {
        return {}; // an existing customer is changed by modify only
    }
    if (!write_customer(*file, name_key, input)) {
        return write_failed_message();
    }
    return {};
}

std::string customer_modify(const CategoryRecord& record, const CustomerInput& input) {
    make_customer_dir();
    if (too_short(input.category) || !usable_category_file(record.file)) {
        return data_missing_message();
    }
    std::string category_key = clean_file_name(input.category);
    bool with_customer = !too_short(input.name) && !too_short(input.phone);
    std::string name_key = clean_file_name(input.name);
    if (!usable_category_file(category_key) || (with_customer && !usable_customer_in(record.file, name_key))) {
        return data_missing_message();
    }

    if (!write_index_marker()) {
        return write_failed_message();
    }
    // Removing the old entry first moves the category to the end of the index, renamed or not. Should
    // the new entry then fail, the category is missing from the index until modify runs again: removing
    // an entry that is gone is no error, so that run writes the entry.
    if (!record.selected_name.empty() && !category_index_write(record.selected_name, std::nullopt)) {
        return write_failed_message();
    }
    if (!category_index_write(category_key, record.file)) {
        return write_failed_message();
    }
    if (with_customer) {
        if (!write_marker(category_file_path(record.file), customer_section, marker_by_editor) ||
            !write_customer(record.file, name_key, input)) {
            return write_failed_message();
        }
    }
    return {};
}

CustomerLookUp customer_look_up(std::string_view category, std::string_view name) {
    make_customer_dir();
    CustomerLookUp out;
    // A look-up is a read: it answers whether or not its marker could be written.
    out.marker_written = write_index_marker();
    if (category.size() <= 1) {
        out.message = gbk("请输入客户类别!");
        return out;
    }
    if (name.size() <= 1) {
        out.message = gbk("请输入客户姓名!");
        return out;
    }
    std::string file = category_index_read(category, absent_for_edit, record_buffer);
    out.phone = category_read(file, name, absent_for_edit, 1024);
    if (file == absent_for_edit) {
        out.notes = gbk("无此客户!");
    } else if (auto notes = read_notes(file, name)) {
        out.notes = *notes;
    } else {
        out.notes = gbk("无此客户");
    }
    return out;
}
