#include "directory/customer_deletion.h"

#include "directory/customer_names.h"
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

} // namespace

DeleteOutcome delete_customer(std::string_view category, std::string_view name) {
    if (name.size() <= 1) {
        return {gbk("没有选中客户 !"), true};
    }
    std::string file = file_of_category(category);
    if (!usable_category_file(file) || !stays_in_directory(name)) {
        return {};
    }
    category_write(file, name, std::nullopt);
    remove_notes(file, name);
    return {};
}

DeleteOutcome delete_customer_group(std::string_view category) {
    if (category.size() <= 1) {
        return {gbk("没有选中客户组!"), true};
    }
    std::string file = file_of_category(category);
    category_index_write(category, std::nullopt);
    if (!usable_category_file(file)) {
        return {{}, false};
    }
    std::string path = category_file_path(file);
    auto customers = read_directory_keys(path);
    if (!customers) {
        return {{}, false};
    }
    for (const auto& customer : *customers) {
        if (stays_in_directory(customer.key)) {
            remove_notes(file, customer.key);
        }
    }
    remove_file(path);
    return {};
}
