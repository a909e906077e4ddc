#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

// The bearer tokens of listener.txt in the working directory: one line per token, "NAME SHA256HEX".
// Only the hash of a token is stored; the token itself is printed once when it is made.

inline constexpr const char* token_file_name = "listener.txt";

using TokenHash = std::array<unsigned char, 32>;

struct TokenEntry {
    std::string name;
    TokenHash hash{};
};

struct TokenFile {
    enum class Status { Read, Missing, Unreadable, Malformed };
    Status status = Status::Missing;
    std::vector<TokenEntry> entries;
    std::string problem; // what is wrong, for Unreadable and Malformed
};

TokenFile read_token_file(const std::string& path);

// A name as --new-token takes it: 1 to 64 letters, digits, '.', '_' or '-'.
bool valid_token_name(const std::string& name);

// Makes a token (32 random bytes as 64 hex digits), adds its name and hash to the file (created with
// mode 0600, replaced atomically) and gives the token back; nullopt with the reason in `problem`.
std::optional<std::string> add_new_token(const std::string& path, const std::string& name, std::string& problem);

// The name of the entry whose hash matches `token`, or nullopt. Every entry is compared, in constant time,
// whatever matched before, so the time taken says nothing about the stored hashes.
std::optional<std::string> match_token(const std::vector<TokenEntry>& entries, const std::string& token);
