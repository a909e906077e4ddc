#include "webhooks/webhook_settings.h"

#include "platform/ini_file.h"
#include "store/settings.h"

#include <cstdlib>
#include <sstream>

namespace {

constexpr int most_targets = 9;

// A whole number of `key` in [low, high], or `fallback` (with a problem noted) when it is anything else.
int bounded_number(const IniSnapshot& ini, const char* key, int low, int high, int fallback,
                   std::vector<std::string>& problems) {
    std::string text = ini.read("WEBHOOKS", key, "", 32);
    if (text.empty()) {
        return fallback;
    }
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || value < low || value > high) {
        problems.push_back(std::string(key) + "=" + text + ": not " + std::to_string(low) + " to " +
                           std::to_string(high) + ", " + std::to_string(fallback) + " taken");
        return fallback;
    }
    return static_cast<int>(value);
}

std::set<std::string> kinds_of(const std::string& key, const std::string& list, std::vector<std::string>& problems) {
    std::set<std::string> kinds;
    std::stringstream in(list);
    for (std::string word; std::getline(in, word, ',');) {
        std::size_t first = word.find_first_not_of(" \t");
        std::size_t last = word.find_last_not_of(" \t");
        if (first == std::string::npos) {
            continue;
        }
        word = word.substr(first, last - first + 1);
        if (webhook_event_kinds().count(word) == 0) {
            problems.push_back(key + ": no event is called " + word);
            continue;
        }
        kinds.insert(word);
    }
    return kinds;
}

} // namespace

const std::set<std::string>& webhook_event_kinds() {
    static const std::set<std::string> kinds = {"received", "sent", "failed", "delivered", "optout", "state", "modem"};
    return kinds;
}

bool acceptable_webhook_url(const std::string& url) {
    if (url.size() > 2048) {
        return false;
    }
    for (char c : url) {
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f) {
            return false;
        }
    }
    std::size_t scheme = url.rfind("http://", 0) == 0 ? 7 : url.rfind("https://", 0) == 0 ? 8 : 0;
    return scheme != 0 && url.size() > scheme && url[scheme] != '/';
}

WebhookSettings read_webhook_settings() {
    WebhookSettings settings;
    IniSnapshot ini(settings_file);
    for (int n = 0; n <= most_targets; ++n) {
        std::string suffix = n == 0 ? "" : std::to_string(n);
        std::string url = ini.read("WEBHOOKS", "URL" + suffix, "", 4096);
        if (url.empty()) {
            continue;
        }
        if (!acceptable_webhook_url(url)) {
            settings.problems.push_back("URL" + suffix + ": not an http:// or https:// address, not used");
            continue;
        }
        WebhookTarget target;
        target.name = "URL" + suffix;
        target.url = url;
        target.secret = ini.read("WEBHOOKS", "SECRET" + suffix, "", 1024);
        if (target.secret.empty()) {
            target.secret = ini.read("WEBHOOKS", "SECRET", "", 1024);
        }
        std::string kinds = ini.read("WEBHOOKS", "EVENTS" + suffix, "", 1024);
        if (kinds.empty()) {
            kinds = ini.read("WEBHOOKS", "EVENTS", "", 1024);
        }
        target.kinds = kinds_of("EVENTS" + suffix, kinds, settings.problems);
        settings.targets.push_back(std::move(target));
    }
    settings.timeout_s = bounded_number(ini, "TIMEOUT", 1, 60, 10, settings.problems);
    settings.retry_first_s = bounded_number(ini, "RETRY_FIRST", 1, 3600, 10, settings.problems);
    settings.retry_most_s = bounded_number(ini, "RETRY_MOST", settings.retry_first_s, 86400, 3600, settings.problems);
    settings.give_up_h = bounded_number(ini, "GIVE_UP", 1, 168, 48, settings.problems);
    return settings;
}
