#include "store/db/connection_string.h"

#include <libpq-fe.h>

#include <algorithm>
#include <locale.h>
#include <memory>

namespace {

constexpr const char* secret_mask = "***";
constexpr const char* unreadable_shown = "(a DSN libpq cannot read)";

// libpq takes the string as a whole connection string when it starts as a URI or holds an '='; anything
// else names a database.
bool whole_connection_string(const std::string& dsn) {
    return dsn.rfind("postgresql://", 0) == 0 || dsn.rfind("postgres://", 0) == 0 || dsn.find('=') != std::string::npos;
}

// A value as a key=value string holds it: quoted when empty or when it holds a blank, a quote or a
// backslash.
std::string keyword_value(const std::string& value) {
    if (!value.empty() && value.find_first_of(" \t\r\n'\\") == std::string::npos) {
        return value;
    }
    std::string quoted = "'";
    for (char c : value) {
        if (c == '\'' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "'";
}

void replace_all(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) {
        return;
    }
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// libpq quotes every piece of the string it complains about, and such a piece may be the password (a
// URI it cannot read is quoted whole): everything from the first double quote to the last goes.
std::string without_quoted_pieces(std::string message) {
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    std::size_t first = message.find('"');
    if (first == std::string::npos) {
        return message;
    }
    std::size_t last = message.rfind('"');
    if (last == first) {
        return message.substr(0, first) + "\"...";
    }
    return message.substr(0, first) + "\"...\"" + message.substr(last + 1);
}

using OptionList = std::unique_ptr<PQconninfoOption, void (*)(PQconninfoOption*)>;

// libpq's reading of the string, its complaint in English whatever the locale: translations may quote
// with other marks, and only double quotes are known to enclose the pieces of the string.
OptionList parse_options(const std::string& text, std::string& problem) {
    locale_t c_messages = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    locale_t previous = c_messages ? ::uselocale(c_messages) : static_cast<locale_t>(0);
    char* error = nullptr;
    OptionList options(PQconninfoParse(text.c_str(), &error), &PQconninfoFree);
    if (c_messages) {
        ::uselocale(previous);
        ::freelocale(c_messages);
    }
    if (!options) {
        problem = error ? without_quoted_pieces(error) : "out of memory";
    }
    if (error) {
        PQfreemem(error);
    }
    return options;
}

} // namespace

ConnectionString::ConnectionString(std::string dsn) : dsn_(std::move(dsn)) {
    std::string problem;
    OptionList options = parse_options(whole_connection_string(dsn_) ? dsn_ : "dbname=" + keyword_value(dsn_), problem);
    if (!options) {
        problem_ = "libpq cannot read the DSN: " + problem;
        return;
    }
    readable_ = true;
    for (const PQconninfoOption* option = options.get(); option->keyword; ++option) {
        if (!option->val) {
            continue;
        }
        // libpq marks the options a connection dialog must hide ("*"): the password and the key's.
        bool secret = option->dispchar && std::string(option->dispchar).find('*') != std::string::npos;
        if (!secret) {
            options_.emplace_back(option->keyword, option->val);
        } else if (*option->val) {
            secrets_.emplace_back(option->val);
        }
    }
    // A secret that holds another is masked first, so no piece of it is left.
    std::sort(secrets_.begin(), secrets_.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
}

std::string ConnectionString::shown() const {
    if (!readable_) {
        return unreadable_shown;
    }
    std::string text;
    for (const auto& [key, value] : options_) {
        text += (text.empty() ? "" : " ") + key + "=" + keyword_value(value);
    }
    if (text.empty()) {
        return "(libpq's defaults)";
    }
    // A user name or a host that is the password as well is not shown either.
    for (const std::string& secret : secrets_) {
        replace_all(text, secret, secret_mask);
    }
    return text;
}

std::string ConnectionString::scrubbed(std::string message) const {
    // A string without a secret may be a bare database name, which is no reason to rewrite a message.
    if (holds_secret()) {
        replace_all(message, dsn_, shown());
    }
    for (const std::string& secret : secrets_) {
        replace_all(message, secret, secret_mask);
    }
    return message;
}

std::string dsn_for_display(const std::string& dsn) {
    return ConnectionString(dsn).shown();
}
