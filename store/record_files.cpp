#include "store/record_files.h"

#include "platform/gbk.h"

std::string recipients_for_file(const std::string& box_text) {
    std::string out = box_text;
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] == ';' && !(i + 2 < out.size() && out[i + 2] == '\n')) {
            out[i] = '\n';
        }
    }
    return out;
}

std::string content_ucs2_hex(const std::string& content_gbk) {
    return utf16_hex(gbk_to_utf16(content_gbk).value_or(std::u16string()));
}

std::string content_for_file(const std::string& content_gbk, bool english) {
    if (!english) {
        return content_gbk;
    }
    return std::string(1, '\x02') + content_gbk + "   ";
}
