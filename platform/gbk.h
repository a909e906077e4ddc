#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Text on disk is GBK (code page 936). The core keeps GBK byte strings and converts only at its edges:
// widgets, standard output, command-line arguments, file names and the UCS-2 user data of a PDU.

// Strict conversions: nullopt when any character has no form in the target encoding.
std::optional<std::string> utf8_to_gbk(std::string_view utf8);
std::optional<std::string> gbk_to_utf8(std::string_view gbk);
std::optional<std::u16string> gbk_to_utf16(std::string_view gbk);
std::optional<std::string> utf16_to_gbk(std::u16string_view utf16);

// Lossy conversions for text that must be shown or stored anyway: every unconvertible character
// becomes '?'.
std::string gbk_to_utf8_lossy(std::string_view gbk);
std::string utf16_to_gbk_lossy(std::u16string_view utf16);

// UTF-16 code units as text: four upper-case hexadecimal digits each, as a PDU carries UCS-2.
std::string utf16_hex(std::u16string_view units);

// A literal written in UTF-8 in the source, as GBK bytes. Literals are known to convert.
std::string gbk(std::string_view utf8_literal);

// The longest start of a GBK text that takes at most `max_bytes` and does not end inside a double-byte
// character.
std::string_view gbk_prefix(std::string_view gbk, std::size_t max_bytes);
