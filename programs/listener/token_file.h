#pragma once

#include <array>
#include <optional>
#include <string>
#include <sys/types.h>
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
    uid_t owner = 0;     // the file's, when Read
    unsigned mode = 0;   // its permission bits, when Read
};

TokenFile read_token_file(const std::string& path);

// Why the tokens of a file that was read cannot be trusted: anyone but its owner may write it (group or
// others), or its owner is not `user`, the one running the listener. The reason names the fix (chmod 600,
// chown); nullopt when the file is safe.
std::optional<std::string> token_file_exposure(const TokenFile& file, const std::string& path, uid_t user);

// A name as --new-token takes it: 1 to 64 letters, digits, '.', '_' or '-'.
bool valid_token_name(const std::string& name);

// Makes a token (32 random bytes as 64 hex digits), adds its name and hash to the file (replaced
// atomically by a new file of mode 0600) and gives the token back; nullopt with the reason in `problem`.
std::optional<std::string> add_new_token(const std::string& path, const std::string& name, std::string& problem);

// The name of the entry whose hash matches `token`, or nullopt. Every entry is compared, in constant time,
// whatever matched before, so the time taken says nothing about the stored hashes.
std::optional<std::string> match_token(const std::vector<TokenEntry>& entries, const std::string& token);
