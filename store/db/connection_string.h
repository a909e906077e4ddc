#pragma once

#include <string>
#include <vector>

// server.txt's [DB] DSN as libpq reads it (key=value pairs, a postgresql:// URI, or a bare database
// name), and what of it may be shown. The string is read with libpq's own parser, so the password is
// found however it is written (password=, postgresql://user:secret@, ?password=); whatever libpq marks
// as a secret (password, sslpassword) is never shown, neither in the string nor in libpq's messages.
class ConnectionString {
public:
    explicit ConnectionString(std::string dsn);

    // Whether libpq can read it. An unreadable one is never handed to libpq to connect with.
    bool readable() const { return readable_; }
    // Why libpq cannot read it: its message with the pieces it quotes from the string left out.
    const std::string& problem() const { return problem_; }
    // The string as given, for libpq.
    const std::string& text() const { return dsn_; }
    // Whether it holds a secret. An unreadable string may hold one that could not be found, so it counts.
    bool holds_secret() const { return !readable_ || !secrets_.empty(); }

    // The options libpq read, as key=value pairs without the secret ones; for an unreadable string a
    // placeholder, since any part of it may be the password.
    std::string shown() const;
    // `message` (libpq's or the server's) with every secret replaced by "***" and a string that holds one
    // by its shown form, in case a message echoes them.
    std::string scrubbed(std::string message) const;

private:
    std::string dsn_;
    bool readable_ = false;
    std::string problem_;
    std::vector<std::string> secrets_;
    std::vector<std::pair<std::string, std::string>> options_; // the others, in libpq's order
};

// The connection string as it may be shown in messages, logs and status reports: never its password.
std::string dsn_for_display(const std::string& dsn);
