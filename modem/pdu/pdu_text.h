#pragma once

#include <string>
#include <string_view>

// GBK text as UTF-16 units, where a byte sequence that is not GBK becomes '?' instead of failing the
// whole text: a content file may hold anything, and one bad byte must not cost the message.
std::u16string gbk_to_utf16_or_question(std::string_view gbk_text);
