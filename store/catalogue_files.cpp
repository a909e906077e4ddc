#include "store/catalogue_files.h"

#include "platform/fs.h"
#include "platform/ini_file.h"
#include "platform/text_file.h"
#include "platform/text_ops.h"
#include "store/directory_files.h"

void make_catalogue_dir() {
    make_dir(catalogue_dir);
}

std::string catalogue_read(std::string_view code, std::string_view default_value, std::size_t buffer_size) {
    return ini_read(catalogue_file, catalogue_section, code, default_value, buffer_size);
}

bool catalogue_write(std::string_view code, const std::optional<std::string>& text) {
    return ini_write(catalogue_file, catalogue_section, code, text);
}

std::int64_t read_catalogue_counter() {
    // A counter that cannot be created reads as the 0 it would have held.
    if (!file_exists(catalogue_counter_file) && !write_catalogue_counter(0)) {
        return 0;
    }
    return parse_decimal(read_first_line(catalogue_counter_file, 511).value_or(std::string()));
}

bool write_catalogue_counter(std::int64_t value) {
    return replace_file_atomically(catalogue_counter_file, std::to_string(value));
}

std::optional<std::int64_t> step_catalogue_counter(std::int64_t delta) {
    std::int64_t value = read_catalogue_counter() + delta;
    if (!write_catalogue_counter(value)) {
        return std::nullopt;
    }
    return value;
}

std::string read_member_value(std::string_view number) {
    return ini_read(members_file, members_section, number, absent_member, 512);
}

bool is_member_value(std::string_view value) {
    return parse_decimal(value) != parse_decimal(absent_member);
}

bool is_member(std::string_view number) {
    return is_member_value(read_member_value(number));
}
