#pragma once

#include <cstddef>
#include <string>

// Opening the gateway's own files to read. Their names come partly from outside (a recipient's
// category, a day, a code), and anyone who may write the working directory may have put a FIFO, a
// device or a symlink where a file was expected. So a file is only opened when:
// - a relative path stays beneath the working directory, with no ".." or symlink leading out of it;
// - the open cannot block (a FIFO with no writer would hold the engine for good);
// - it is a regular file once open (a device such as /dev/zero would never end).
// Absolute paths (given by the operator or a test) are checked for the last two only.

// The most any reader takes of one data file: a longer one is treated as unreadable, not loaded.
inline constexpr std::size_t data_file_limit = std::size_t{64} << 20;

// A descriptor (O_RDONLY, close-on-exec, blocking again once open) or -1 with errno set: ENOENT and
// the like from the open, EXDEV for a path leading out of the working directory, EINVAL for a file that
// is not regular.
int open_data_file(const std::string& path);
