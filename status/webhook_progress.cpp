#include "status/webhook_progress.h"

#include "platform/ini_file.h"
#include "store/event_journal.h"
#include "store/journal_cursor.h"
#include "store/parked_events.h"
#include "store/settings.h"

#include <algorithm>

std::vector<WebhookProgress> webhook_progress() {
    std::vector<WebhookProgress> found;
    IniSnapshot ini(settings_file);
    long long last = -1;
    for (int n = 0; n <= 9; ++n) {
        std::string name = "URL" + (n == 0 ? std::string() : std::to_string(n));
        std::string url = ini.read("WEBHOOKS", name, "", 4096);
        std::optional<JournalCursor> cursor = read_journal_cursor(journal_dir, "webhook-" + name);
        if (url.empty() || !cursor || cursor->label != url) {
            continue;
        }
        if (last < 0) {
            last = JournalReader().end().seq;
        }
        found.push_back({name, url, cursor->seq, std::max(0LL, last - cursor->seq),
                         parked_event_count(journal_dir, "webhook-" + name)});
    }
    return found;
}
