#pragma once

#include "platform/data_file.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Text-mode files, byte-compatible with the Windows programs that share the spool: every "\n" a writer
// emits is stored as "\r\n", and a reader turns "\r\n" back into "\n". Contents are GBK bytes.

std::string to_text_mode(std::string_view text);    // "\n" -> "\r\n"
std::string from_text_mode(std::string_view bytes); // "\r\n" -> "\n"

// Creates or replaces the file with `text` in text mode, in place. False when the file cannot be written.
[[nodiscard]] bool write_text_file(const std::string& path, std::string_view text);

// Who may read and write a replaced file. Kept: what the file allowed before (its permission bits), or
// for a new file what a plain create gives. OwnerOnly: 0600, for files that hold secrets. Either way a
// file root replaces keeps its owner.
enum class FileAccess { Kept, OwnerOnly };

// Replaces the file atomically (a new temporary file in the same directory, flushed to the disk, then
// rename), so no reader ever sees it empty or half-written, not even after a crash; the temporary file is
// made with O_EXCL, so nothing planted under its name is followed. `bytes` are written as they are. On
// any failure the file keeps its old content, no temporary file is left, and errno says why.
[[nodiscard]] bool replace_file_atomically(const std::string& path, std::string_view bytes,
                                           FileAccess access = FileAccess::Kept);

// The same for a text written in text mode: for files that a reader may open at any moment.
[[nodiscard]] bool replace_text_file_atomically(const std::string& path, std::string_view text);

// The whole file read in text mode, or nullopt when it cannot be opened or read.
std::optional<std::string> read_text_file(const std::string& path);

// The first line of the file in text mode (without its line end), at most `max_bytes` bytes of it.
std::optional<std::string> read_first_line(const std::string& path, std::size_t max_bytes);

// The raw bytes of a file, or nullopt when it cannot be opened or read, or holds more than `max_bytes`.
// Every read of this page goes through open_data_file (platform/data_file.h): only regular files, never
// a blocking open, never a relative path that leads out of the working directory.
std::optional<std::string> read_binary_file(const std::string& path, std::size_t max_bytes = data_file_limit);

// A read that stops after `max_bytes`, for input of unknown size (a file named by the user, a pipe, a
// device that never ends).
struct BoundedRead {
    enum class Status { Read, CannotOpen, IsDirectory, TooLarge, ReadFailed };
    Status status = Status::CannotOpen;
    std::string bytes; // the raw bytes when Read
    int error = 0;     // errno of CannotOpen and ReadFailed
};

// At most `max_bytes` of the file; a longer one (one more byte is read to tell) is TooLarge.
BoundedRead read_file_bounded(const std::string& path, std::size_t max_bytes);
// The same from an open descriptor (standard input), which is read to its end or the bound.
BoundedRead read_fd_bounded(int fd, std::size_t max_bytes);
