#include "platform/text_file.h"

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
        if (n < 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
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

bool replace_file_atomically(const std::string& path, std::string_view bytes) {
    std::string tmp = path + ".tmpXXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        return false;
    }
    // mkstemp creates 0600; give the file the mode a plain create would have.
    static const mode_t file_mode = 0666 & ~[] {
        mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    ::fchmod(fd, file_mode);
    bool ok = write_all(fd, bytes);
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> read_binary_file(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string out;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
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
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
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
