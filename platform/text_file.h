#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Text-mode files, byte-compatible with the Windows programs that share the spool: every "\n" a writer
// emits is stored as "\r\n", and a reader turns "\r\n" back into "\n". Contents are GBK bytes.

std::string to_text_mode(std::string_view text);    // "\n" -> "\r\n"
std::string from_text_mode(std::string_view bytes); // "\r\n" -> "\n"

// Creates or replaces the file with `text` in text mode. False when the file cannot be written.
bool write_text_file(const std::string& path, std::string_view text);

// Replaces the file atomically (temporary file in the same directory, then rename), so no reader ever
// sees it empty or half-written. `bytes` are written as they are.
bool replace_file_atomically(const std::string& path, std::string_view bytes);

// The whole file read in text mode, or nullopt when it cannot be opened.
std::optional<std::string> read_text_file(const std::string& path);

// The first line of the file in text mode (without its line end), at most `max_bytes` bytes of it.
std::optional<std::string> read_first_line(const std::string& path, std::size_t max_bytes);

// The raw bytes of a file, or nullopt.
std::optional<std::string> read_binary_file(const std::string& path);
