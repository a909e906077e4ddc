#include "token_file.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char hex_digits[] = "0123456789abcdef";

std::string to_hex(const unsigned char* bytes, std::size_t size) {
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += hex_digits[bytes[i] >> 4];
        out += hex_digits[bytes[i] & 15];
    }
    return out;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool from_hex(const std::string& text, TokenHash& out) {
    if (text.size() != out.size() * 2) {
        return false;
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        int high = hex_value(text[2 * i]);
        int low = hex_value(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        out[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

TokenHash sha256(const std::string& text) {
    TokenHash hash{};
    unsigned int size = 0;
    if (EVP_Digest(text.data(), text.size(), hash.data(), &size, EVP_sha256(), nullptr) != 1 || size != hash.size()) {
        // A hash that cannot be made matches nothing: an all-zero value is no stored token's hash.
        hash.fill(0);
    }
    return hash;
}

std::optional<std::string> read_all(const std::string& path, int& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = errno;
        return std::nullopt;
    }
    std::string bytes;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        bytes.append(buffer, n);
    }
    bool failed = std::ferror(f) != 0;
    error = errno;
    std::fclose(f);
    if (failed) {
        return std::nullopt;
    }
    return bytes;
}

// Writes `bytes` to a new file beside `path` with mode 0600, flushes it to the disk and renames it over
// `path`, so a crash leaves the old file or the new one, never half of it.
bool replace_private_file(const std::string& path, const std::string& bytes, std::string& problem) {
    std::string temporary = path + ".tmp" + std::to_string(::getpid());
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        problem = "cannot create " + temporary + ": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            problem = "cannot write " + temporary + ": " + std::strerror(errno);
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    // The umask may have taken bits away, never added any; 0600 is set explicitly all the same.
    if (::fchmod(fd, 0600) != 0 || ::fsync(fd) != 0) {
        problem = "cannot write " + temporary + ": " + std::strerror(errno);
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        problem = "cannot replace " + path + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

bool valid_token_name(const std::string& name) {
    if (name.empty() || name.size() > 64) {
        return false;
    }
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
                  c == '-';
        if (!ok) {
            return false;
        }
    }
    return true;
}

TokenFile read_token_file(const std::string& path) {
    TokenFile file;
    int error = 0;
    auto bytes = read_all(path, error);
    if (!bytes) {
        file.status = error == ENOENT ? TokenFile::Status::Missing : TokenFile::Status::Unreadable;
        file.problem = std::strerror(error);
        return file;
    }
    file.status = TokenFile::Status::Read;
    std::size_t start = 0;
    int line_number = 0;
    while (start < bytes->size()) {
        std::size_t end = bytes->find('\n', start);
        std::string line = bytes->substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? bytes->size() : end + 1;
        ++line_number;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::size_t space = line.find(' ');
        TokenEntry entry;
        entry.name = line.substr(0, space);
        if (space == std::string::npos || !valid_token_name(entry.name) ||
            !from_hex(line.substr(line.find_first_not_of(' ', space)), entry.hash)) {
            file.status = TokenFile::Status::Malformed;
            file.problem = "line " + std::to_string(line_number) + " is not \"NAME SHA256HEX\"";
            file.entries.clear();
            return file;
        }
        file.entries.push_back(entry);
    }
    return file;
}

std::optional<std::string> add_new_token(const std::string& path, const std::string& name, std::string& problem) {
    if (!valid_token_name(name)) {
        problem = "a token name is 1 to 64 letters, digits, '.', '_' or '-'";
        return std::nullopt;
    }
    int error = 0;
    std::string old_text;
    if (auto bytes = read_all(path, error)) {
        old_text = *bytes;
    } else if (error != ENOENT) {
        problem = "cannot read " + path + ": " + std::strerror(error);
        return std::nullopt;
    }
    TokenFile file = read_token_file(path);
    if (file.status == TokenFile::Status::Malformed) {
        problem = path + ": " + file.problem;
        return std::nullopt;
    }
    for (const TokenEntry& entry : file.entries) {
        if (entry.name == name) {
            problem = "a token called " + name + " exists already";
            return std::nullopt;
        }
    }
    unsigned char random[32];
    if (RAND_bytes(random, sizeof random) != 1) {
        problem = "no random bytes from OpenSSL";
        return std::nullopt;
    }
    std::string token = to_hex(random, sizeof random);
    TokenHash hash = sha256(token);
    if (!old_text.empty() && old_text.back() != '\n') {
        old_text += '\n';
    }
    std::string text = old_text + name + " " + to_hex(hash.data(), hash.size()) + "\n";
    if (!replace_private_file(path, text, problem)) {
        return std::nullopt;
    }
    return token;
}

std::optional<std::string> match_token(const std::vector<TokenEntry>& entries, const std::string& token) {
    TokenHash hash = sha256(token);
    std::optional<std::string> found;
    for (const TokenEntry& entry : entries) {
        if (CRYPTO_memcmp(hash.data(), entry.hash.data(), hash.size()) == 0 && !found) {
            found = entry.name;
        }
    }
    return found;
}
