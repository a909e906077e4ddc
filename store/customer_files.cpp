#include "store/customer_files.h"

#include "platform/fs.h"
#include "platform/gbk.h"
#include "platform/ini_file.h"
#include "platform/text_file.h"

namespace {

std::string path_part(std::string_view gbk_text) {
    return gbk_to_utf8(gbk_text).value_or(std::string(gbk_text));
}

bool usable_name(std::string_view name) {
    return !name.empty() && name.size() <= max_name_bytes && name != "." && name != "..";
}

} // namespace

void make_customer_dir() {
    make_dir(customer_dir);
}

std::string category_file_path(std::string_view file_gbk) {
    return customer_dir + path_part(file_gbk);
}

std::string notes_file_path(std::string_view file_gbk, std::string_view customer_gbk) {
    // Each part is converted on its own: "_" could otherwise pair with a stray lead byte.
    return customer_dir + path_part(file_gbk) + "_" + path_part(customer_gbk);
}

bool usable_customer_name(std::string_view name_gbk) {
    return usable_name(name_gbk);
}

bool usable_category_name(std::string_view name_gbk) {
    return usable_name(name_gbk) && name_gbk != "custindex";
}

bool notes_path_fits(std::string_view file_gbk, std::string_view customer_gbk) {
    return std::string_view(customer_dir).size() + file_gbk.size() + 1 + customer_gbk.size() <= max_notes_path_bytes;
}

std::string category_index_read(std::string_view category, std::string_view default_value, std::size_t buffer_size) {
    return ini_read(category_index_file, customer_section, category, default_value, buffer_size);
}

bool category_index_write(std::string_view category, const std::optional<std::string>& file_gbk) {
    return ini_write(category_index_file, customer_section, category, file_gbk);
}

std::string category_read(std::string_view file_gbk, std::string_view customer, std::string_view default_value,
                          std::size_t buffer_size) {
    return ini_read(category_file_path(file_gbk), customer_section, customer, default_value, buffer_size);
}

bool category_write(std::string_view file_gbk, std::string_view customer, const std::optional<std::string>& phone) {
    return ini_write(category_file_path(file_gbk), customer_section, customer, phone);
}

std::optional<std::string> read_notes(std::string_view file_gbk, std::string_view customer_gbk) {
    return read_text_file(notes_file_path(file_gbk, customer_gbk));
}

bool write_notes(std::string_view file_gbk, std::string_view customer_gbk, std::string_view text) {
    return write_text_file(notes_file_path(file_gbk, customer_gbk), text);
}

bool remove_notes(std::string_view file_gbk, std::string_view customer_gbk) {
    return remove_file(notes_file_path(file_gbk, customer_gbk));
}
