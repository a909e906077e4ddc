#include "token_file.h"

#include "platform/text_file.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>

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

// The whole file, and its owner and mode in `info`; nullopt with errno in `error` when it cannot be read.
std::optional<std::string> read_all(const std::string& path, int& error, struct stat* info = nullptr) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = errno;
        return std::nullopt;
    }
    if (info && ::fstat(::fileno(f), info) != 0) {
        error = errno;
        std::fclose(f);
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

// Anyone who may write the file may add a token of their own.
std::optional<std::string> writable_by_others(const TokenFile& file, const std::string& path) {
    if ((file.mode & (S_IWGRP | S_IWOTH)) == 0) {
        return std::nullopt;
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", file.mode & 07777);
    return path + " may be changed by other users (mode " + mode +
           "), who could add a token of their own: run chmod 600 " + path;
}

std::string user_name(uid_t uid) {
    const passwd* user = ::getpwuid(uid);
    return user ? user->pw_name : std::to_string(uid);
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
    struct stat info {};
    auto bytes = read_all(path, error, &info);
    if (!bytes) {
        file.status = error == ENOENT ? TokenFile::Status::Missing : TokenFile::Status::Unreadable;
        file.problem = std::strerror(error);
        return file;
    }
    file.status = TokenFile::Status::Read;
    file.owner = info.st_uid;
    file.mode = info.st_mode & 07777;
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
    // Its tokens would be carried over, whoever put them there.
    if (std::optional<std::string> writable = writable_by_others(file, path)) {
        problem = *writable;
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
    // A new file of a name nobody can guess beforehand (no planted symlink is followed), 0600, renamed
    // over the old one.
    if (!replace_file_atomically(path, text, FileAccess::OwnerOnly)) {
        problem = "cannot write " + path + ": " + std::strerror(errno);
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

std::optional<std::string> token_file_exposure(const TokenFile& file, const std::string& path, uid_t user) {
    if (file.status != TokenFile::Status::Read) {
        return std::nullopt;
    }
    if (std::optional<std::string> writable = writable_by_others(file, path)) {
        return writable;
    }
    if (file.owner != user) {
        return path + " belongs to " + user_name(file.owner) + ", not to " + user_name(user) +
               ", who runs the listener: run chown " + user_name(user) + " " + path + " and chmod 600 " + path +
               ", or run the listener as " + user_name(file.owner);
    }
    return std::nullopt;
}
