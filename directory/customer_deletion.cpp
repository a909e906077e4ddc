#include "directory/customer_deletion.h"

#include "directory/customer_names.h"
#include "directory/write_failure.h"
#include "platform/fs.h"
#include "platform/gbk.h"
#include "store/customer_files.h"
#include "store/directory_files.h"

namespace {

constexpr std::size_t record_buffer = max_name_bytes + 1;

std::string file_of_category(std::string_view category) {
    return category_index_read(category, absent_for_list, record_buffer);
}

// A typed name with '/' would reach outside the customer directory's own files.
bool stays_in_directory(std::string_view name) {
    return name.find('/') == std::string_view::npos;
}

// A deletion that could not be finished keeps the dialog open for another try.
DeleteOutcome failed() {
    return {write_failed_message(), false};
}

} // namespace

DeleteOutcome delete_customer(std::string_view category, std::string_view name) {
    if (name.size() <= 1) {
        return {gbk("没有选中客户 !"), true};
    }
    std::string file = file_of_category(category);
    if (!usable_category_file(file) || !stays_in_directory(name)) {
        return {};
    }
    // Removing an entry that is gone and deleting a missing file are no errors, so a second try after a
    // failure finishes whatever the first left.
    if (!category_write(file, name, std::nullopt) || !remove_notes(file, name)) {
        return failed();
    }
    return {};
}

DeleteOutcome delete_customer_group(std::string_view category) {
    if (category.size() <= 1) {
        return {gbk("没有选中客户组!"), true};
    }
    std::string file = file_of_category(category);
    // A category whose file cannot be read has nothing more to delete: only its index entry goes.
    auto customers = usable_category_file(file) ? read_directory_keys(category_file_path(file)) : std::nullopt;
    if (!customers) {
        return category_index_write(category, std::nullopt) ? DeleteOutcome{{}, false} : failed();
    }
    // The index entry goes last: while a file is left to delete the category stays in the index, so
    // the next try finds its file and its customers again.
    bool all_gone = true;
    for (const auto& customer : *customers) {
        if (stays_in_directory(customer.key) && !remove_notes(file, customer.key)) {
            all_gone = false;
        }
    }
    if (!all_gone || !remove_file(category_file_path(file)) || !category_index_write(category, std::nullopt)) {
        return failed();
    }
    return {};
}
