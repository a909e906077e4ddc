#include "platform/gbk.h"

#include <cerrno>
#include <cstdlib>
#include <iconv.h>

namespace {

// One conversion through iconv. With `lossy`, an input sequence that cannot be converted is
// replaced by '?' (in the target encoding) and the conversion goes on.
std::optional<std::string> convert(const char* to, const char* from, std::string_view in, bool lossy,
                                   std::string_view question_mark, size_t unit) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string out;
    out.resize(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    size_t done = 0;
    bool ok = true;
    while (src_left > 0) {
        char* dst = out.data() + done;
        size_t dst_left = out.size() - done;
        size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
        done = out.size() - dst_left;
        if (rc != static_cast<size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        if (!lossy) {
            ok = false;
            break;
        }
        // EILSEQ or EINVAL: skip one input unit and put a question mark in its place.
        size_t skip = std::min(unit, src_left);
        src += skip;
        src_left -= skip;
        out.resize(std::max(out.size(), done + question_mark.size() + 16));
        out.replace(done, question_mark.size(), question_mark);
        done += question_mark.size();
    }
    if (ok) {
        char* dst = out.data() + done;
        size_t dst_left = out.size() - done;
        iconv(cd, nullptr, nullptr, &dst, &dst_left);
        done = out.size() - dst_left;
    }
    iconv_close(cd);
    if (!ok) {
        return std::nullopt;
    }
    out.resize(done);
    return out;
}

std::string_view bytes(std::u16string_view s) {
    return {reinterpret_cast<const char*>(s.data()), s.size() * sizeof(char16_t)};
}

std::u16string units(const std::string& s) {
    std::u16string out(s.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(s[2 * i]) |
                                       (static_cast<unsigned char>(s[2 * i + 1]) << 8));
    }
    return out;
}

const std::string_view utf16_question{"?\0", 2};

} // namespace

std::optional<std::string> utf8_to_gbk(std::string_view utf8) {
    return convert("CP936", "UTF-8", utf8, false, "?", 1);
}

std::optional<std::string> gbk_to_utf8(std::string_view gbk_text) {
    return convert("UTF-8", "CP936", gbk_text, false, "?", 1);
}

std::optional<std::u16string> gbk_to_utf16(std::string_view gbk_text) {
    auto out = convert("UTF-16LE", "CP936", gbk_text, false, utf16_question, 1);
    if (!out) {
        return std::nullopt;
    }
    return units(*out);
}

std::optional<std::string> utf16_to_gbk(std::u16string_view utf16) {
    return convert("CP936", "UTF-16LE", bytes(utf16), false, "?", 2);
}

std::string gbk_to_utf8_lossy(std::string_view gbk_text) {
    return convert("UTF-8", "CP936", gbk_text, true, "?", 1).value_or(std::string());
}

std::string utf16_to_gbk_lossy(std::u16string_view utf16) {
    return convert("CP936", "UTF-16LE", bytes(utf16), true, "?", 2).value_or(std::string());
}

std::string gbk(std::string_view utf8_literal) {
    auto out = utf8_to_gbk(utf8_literal);
    if (!out) {
        std::abort(); // a literal of our own that GBK cannot hold is a programming error
    }
    return *out;
}

std::string utf16_hex(std::u16string_view units) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(units.size() * 4);
    for (char16_t unit : units) {
        for (int shift = 12; shift >= 0; shift -= 4) {
            hex.push_back(digits[(unit >> shift) & 0x0F]);
        }
    }
    return hex;
}

std::string_view gbk_prefix(std::string_view gbk, std::size_t max_bytes) {
    std::size_t end = 0;
    while (end < gbk.size()) {
        auto lead = static_cast<unsigned char>(gbk[end]);
        std::size_t width = lead >= 0x81 && lead <= 0xFE && end + 1 < gbk.size() ? 2 : 1;
        if (end + width > max_bytes) {
            break;
        }
        end += width;
    }
    return gbk.substr(0, end);
}
