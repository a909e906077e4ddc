#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The GSM 7-bit default alphabet with its extension table. A septet string holds one code (0..127)
// per byte; a character of the extension table takes two: the escape code, then its own code.

inline constexpr std::uint8_t gsm_escape = 0x1B;

// Septets for a GBK text. A character the alphabet lacks, or a byte sequence that is not GBK,
// becomes '?'.
std::string gsm_septets_from_gbk(std::string_view gbk_text);

// GBK text for septets. A character GBK lacks (£, ¥, Ç ...) becomes '?'; an escape followed by a code
// the extension table does not define shows that code's default character.
std::string gsm_septets_to_gbk(std::string_view septets);

// How many of the first `limit` septets can be kept without splitting an escape pair.
size_t gsm_septet_cut(std::string_view septets, size_t limit);
