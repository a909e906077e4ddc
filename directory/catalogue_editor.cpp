#include "directory/catalogue_editor.h"

#include "platform/ini_file.h"

#include "directory/write_failure.h"
#include "platform/gbk.h"
#include "store/catalogue_files.h"
#include "store/directory_files.h"

namespace {

constexpr std::size_t max_reply_units = 64;

// The reply of a missing code as the list shows it.
constexpr std::size_t list_value_buffer = 1000;

std::size_t utf16_units(std::string_view gbk_text) {
    if (auto units = gbk_to_utf16(gbk_text)) {
        return units->size();
    }
    // Bytes that are no GBK each stand for one replacement character.
    return gbk_to_utf8_lossy(gbk_text).size();
}

bool write_editor_marker() {
    return write_marker(catalogue_file, catalogue_section, marker_by_editor);
}

} // namespace

bool reply_text_fits(std::string_view typed_gbk) {
    return utf16_units(typed_gbk) <= max_reply_units;
}

std::string reply_text_to_store(std::string_view typed_gbk) {
    std::string out(typed_gbk);
    for (char& c : out) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return out;
}

std::string catalogue_add(std::string_view code, std::string_view typed_text) {
    make_catalogue_dir();
    // Without its marker a new catalogue file would begin with this code, and the list, which takes the
    // second line for the marker, would never show it: no marker, no add.
    if (!write_editor_marker()) {
        return write_failed_message();
    }
    // A 10-byte buffer is enough to tell the sentinel from any stored text.
    bool absent = catalogue_read(code, absent_for_edit, 10) == absent_for_edit;
    if (!reply_text_fits(typed_text)) {
        return gbk("收信内容不能太多！");
    }
    if (!absent) {
        return {};
    }
    if (!catalogue_write(code, reply_text_to_store(typed_text))) {
        return write_failed_message();
    }
    if (!step_catalogue_counter(+1)) {
        // A code left in place would make the next try find it present and pass over it, so the counter
        // would stay one short for good. Taking the code out again lets the next try do both. Should that
        // fail as well, the code stays uncounted; the operator is told the add failed either way.
        [[maybe_unused]] bool taken_out = catalogue_write(code, std::nullopt);
        return write_failed_message();
    }
    return {};
}

std::string catalogue_modify(std::string_view code, std::string_view typed_text) {
    make_catalogue_dir();
    if (!reply_text_fits(typed_text)) {
        return gbk("收信内容不能太多!!");
    }
    if (!catalogue_write(code, reply_text_to_store(typed_text))) {
        return write_failed_message();
    }
    return {};
}

std::string catalogue_delete(std::string_view code) {
    make_catalogue_dir();
    if (!catalogue_write(code, std::nullopt)) {
        return write_failed_message();
    }
    if (!step_catalogue_counter(-1)) {
        return write_failed_message();
    }
    return {};
}

CatalogueLookUp catalogue_look_up(std::string_view code) {
    make_catalogue_dir();
    // The marker only readies the file for the list; a look-up is a read and still answers without it.
    CatalogueLookUp out;
    out.marker_written = write_editor_marker();
    if (code.size() <= 1) {
        out.text = gbk("无此信息");
        return out;
    }
    out.text = catalogue_read(code, absent_for_edit, 1024);
    if (out.text == absent_for_edit) {
        out.text = gbk("无此信息!");
    }
    return out;
}

void catalogue_list(const std::function<bool(const CatalogueRow&)>& on_row) {
    auto lines = read_directory_keys(catalogue_file);
    if (!lines) {
        return;
    }
    IniSnapshot catalogue(catalogue_file); // one parse for the whole list
    for (auto& line : *lines) {
        std::string text = catalogue.read(catalogue_section, line.key, absent_for_list, list_value_buffer);
        if (!on_row({line.number, std::move(line.key), std::move(text)})) {
            return;
        }
    }
}
