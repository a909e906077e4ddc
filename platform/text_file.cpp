#include "platform/text_file.h"

#include "platform/data_file.h"
#include "platform/umask.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string to_text_mode(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    for (char c : text) {
        if (c == '\n') {
            out.push_back('\r');
        }
        out.push_back(c);
    }
    return out;
}

std::string from_text_mode(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            continue;
        }
        out.push_back(bytes[i]);
    }
    return out;
}

namespace {

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// The mode a plain create gives a file: 0666 less the umask.
mode_t created_file_mode() {
    return 0666 & ~process_umask();
}

// mkstemp creates 0600. A replaced file keeps what it allowed before, so a file its owner made private
// (server.txt holding a password) never becomes readable by others through a write; a new one gets the
// mode of a plain create.
bool set_access(int fd, const std::string& path, FileAccess access) {
    struct stat old {};
    bool replacing = ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    // Root replacing a service user's file (the console or --new-token run as root in a service's
    // directory) gives it back to that user, or a private file would be one the service cannot read.
    if (replacing && ::geteuid() == 0 && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        return false;
    }
    mode_t mode = access == FileAccess::OwnerOnly ? 0600 : replacing ? old.st_mode & 0777 : created_file_mode();
    return ::fchmod(fd, mode) == 0;
}

} // namespace

bool write_text_file(const std::string& path, std::string_view text) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    bool ok = write_all(fd, to_text_mode(text));
    return ::close(fd) == 0 && ok;
}

bool replace_file_atomically(const std::string& path, std::string_view bytes, FileAccess access) {
    std::string tmp = path + ".tmpXXXXXX";
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // The data must be on the disk before the rename makes it the file, or a crash could leave a counter
    // empty.
    bool ok = set_access(fd, path, access) && write_all(fd, bytes) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        errno = error;
    }
    return ok;
}

bool replace_text_file_atomically(const std::string& path, std::string_view text) {
    return replace_file_atomically(path, to_text_mode(text));
}

BoundedRead read_fd_bounded(int fd, std::size_t max_bytes) {
    BoundedRead result;
    std::string& out = result.bytes;
    char buf[65536];
    for (;;) {
        // Never more than one byte past the bound: that byte only tells that the input is too long.
        size_t want = std::min(sizeof buf, max_bytes + 1 - out.size());
        ssize_t n = ::read(fd, buf, want);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            result.status = errno == EISDIR ? BoundedRead::Status::IsDirectory : BoundedRead::Status::ReadFailed;
            result.error = errno;
            out.clear();
            return result;
        }
        if (n == 0) {
            result.status = BoundedRead::Status::Read;
            return result;
        }
        out.append(buf, static_cast<size_t>(n));
        if (out.size() > max_bytes) {
            result.status = BoundedRead::Status::TooLarge;
            out.clear();
            return result;
        }
    }
}

BoundedRead read_file_bounded(const std::string& path, std::size_t max_bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        BoundedRead result;
        result.error = errno;
        return result;
    }
    BoundedRead result;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        result.status = BoundedRead::Status::IsDirectory;
        result.error = EISDIR;
    } else {
        result = read_fd_bounded(fd, max_bytes);
    }
    ::close(fd);
    return result;
}

std::optional<std::string> read_binary_file(const std::string& path, std::size_t max_bytes) {
    int fd = open_data_file(path);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string out;
    char buf[65536];
    bool ok = true;
    for (;;) {
        if (out.size() > max_bytes) {
            ok = false; // a file that grew past what any reader takes is not loaded
            break;
        }
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A read error (a directory, an I/O error) must not pass for a short or empty file.
            ok = n == 0;
            break;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    if (!ok) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::string> read_text_file(const std::string& path) {
    auto raw = read_binary_file(path);
    if (!raw) {
        return std::nullopt;
    }
    return from_text_mode(*raw);
}

std::optional<std::string> read_first_line(const std::string& path, std::size_t max_bytes) {
    int fd = open_data_file(path);
    std::FILE* f = fd >= 0 ? ::fdopen(fd, "rb") : nullptr;
    if (!f) {
        if (fd >= 0) {
            ::close(fd);
        }
        return std::nullopt;
    }
    std::string line;
    int c;
    while (line.size() < max_bytes && (c = std::fgetc(f)) != EOF) {
        if (c == '\n') {
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    std::fclose(f);
    // A stored line ends in CR LF: drop the CR that belongs to the line end.
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}
