// vmsms-send: queue one outgoing message into today's spool, as the compose tab does.
//   vmsms-send [--english] [--long] [--to NUMBER]... [--to-file FILE] TEXT
// TEXT "-" reads standard input. Arguments are UTF-8 and are stored as GBK.

#include "queue/message_queue.h"
#include "platform/fs.h"
#include "platform/gbk.h"
#include "platform/program_info.h"
#include "platform/text_file.h"
#include "store/box_text.h"
#include "store/content_size.h"
#include "queue/enqueue.h"
#include "store/recipients.h"
#include "store/settings.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int exit_refused = 2;
constexpr int exit_failed = 1;

// A recipient list or a message text is a few kilobytes at most; the bound keeps a wrong file, a
// device or an endless pipe from filling the memory.
constexpr std::size_t input_limit = 16 * 1024 * 1024;
constexpr const char* input_limit_text = "16 MiB";

const char help_text[] =
    "usage: vmsms-send [OPTION]... TEXT|-\n"
    "Queues one message into today's spool of the working directory, exactly as the window's compose\n"
    "tab does, and prints its record number. A running gateway (vmsms or vmsmsd) in that directory\n"
    "sends it. TEXT is UTF-8; - reads it from standard input.\n"
    "\n"
    "  --to NUMBER        a recipient: a phone number (up to 12 digits), a number range such as\n"
    "                     13566668888-13577779999, or an address-book customer; repeat for more, or\n"
    "                     separate them with ';'\n"
    "  --to-file FILE     recipients from FILE, one per line\n"
    "  --english          send in the GSM 7-bit alphabet (160 characters); else as Chinese (70)\n"
    "  --long             let a long message in: up to ten linked parts (670 Chinese characters, 1530\n"
    "                     English); also LONGSMS=1 in server.txt\n"
    "  --dir PATH         queue in PATH instead of the current directory\n"
    "  --lock-timeout SECONDS\n"
    "                     wait at most this long (0 to 3600, default 5) for the day's queue lock\n"
    "                     while another writer holds it, then give up (exit 1)\n"
    "  --db               insist on the shared queue: refuse (exit 1) unless server.txt names its\n"
    "                     database ([DB] DSN=...); with a DSN the message always goes there too\n"
    "  --help             show this text and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "With [DB] DSN=postgresql://... in server.txt the recipients also go into the shared queue's\n"
    "outbox, in one transaction, before the record counts as queued: any gateway of the queue sends it.\n"
    "\n"
    "Exit status: 0 queued, 2 refused (nothing queued; the reason on standard error), 1 the queue\n"
    "could not be locked or written, or the database did not take the message.\n";

int usage() {
    std::fputs("usage: vmsms-send [--dir PATH] [--db] [--english] [--long] [--lock-timeout SECONDS] [--to NUMBER]...\n"
               "                  [--to-file FILE] TEXT|-\n"
               "       vmsms-send --help | --version\n",
               stderr);
    return exit_refused;
}

int refuse(const std::string& message_utf8) {
    std::fprintf(stderr, "%s\n", message_utf8.c_str());
    return exit_refused;
}

std::string strip_final_newline(std::string text) {
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
    }
    return text;
}

// The whole input of --to-file or of TEXT "-", or the reason to refuse it (UTF-8) in `refusal`.
std::optional<std::string> read_input(const BoundedRead& read, const std::string& name, std::string& refusal) {
    switch (read.status) {
    case BoundedRead::Status::Read:
        return read.bytes;
    case BoundedRead::Status::IsDirectory:
        refusal = name + " is a directory";
        break;
    case BoundedRead::Status::TooLarge:
        refusal = name + " is larger than " + input_limit_text;
        break;
    case BoundedRead::Status::CannotOpen:
    case BoundedRead::Status::ReadFailed:
        refusal = "cannot read " + name;
        break;
    }
    return std::nullopt;
}

// --lock-timeout: whole or fractional seconds, at most an hour.
std::optional<std::chrono::milliseconds> lock_timeout(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(seconds >= 0 && seconds <= 3600)) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

// The lines the engine could not send to, as one UTF-8 list for the message.
std::string recipient_list_utf8(const std::vector<std::string>& lines_gbk) {
    std::string list;
    for (const std::string& line : lines_gbk) {
        if (!list.empty()) {
            list += "、";
        }
        list += "“" + gbk_to_utf8_lossy(line) + "”";
    }
    return list;
}

} // namespace

// Why a content was too long: what it takes and what one message, or a long message, holds.
std::string size_detail(const std::string& content_gbk, bool english, bool long_messages) {
    ContentSize size = content_size(content_gbk, english);
    int most = most_content_characters(english, long_messages);
    std::string unit = english ? "个GSM字符（扩展字符算两个）" : "个字符";
    return "内容有 " + std::to_string(size.characters) + " " + unit + "，" +
           (long_messages ? "长短信最多 " : "一条短信最多 ") + std::to_string(most) + " 个" +
           (long_messages ? "（10条）" : "；更长的内容请用 --long 作为长短信发送") + "。";
}

int main(int argc, char** argv) {
    if (std::optional<int> status = common_options("vmsms-send", argc, argv, help_text)) {
        return *status;
    }
    if (!file_exists("server.txt")) {
        // Queueing still works, but it is worth saying: most likely the wrong directory.
        std::fputs("vmsms-send: warning: this directory holds no server.txt: no gateway sends from this spool "
                   "(use --dir to name the gateway's working directory)\n",
                   stderr);
    }
    // LONGSMS=1 in server.txt lets long messages in, as the window does when its box is ticked.
    bool long_messages = setting_is_on(settings::long_messages);
    bool english = false;
    bool database_required = false;
    std::chrono::milliseconds lock_wait = FileLock::default_wait;
    std::vector<std::string> recipients;
    std::string text;
    bool have_text = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--english") {
            english = true;
        } else if (arg == "--long") {
            long_messages = true;
        } else if (arg == "--db") {
            database_required = true;
        } else if (arg == "--dir" && i + 1 < argc) {
            ++i; // entered already
        } else if (arg == "--lock-timeout" && i + 1 < argc) {
            std::optional<std::chrono::milliseconds> wait = lock_timeout(argv[++i]);
            if (!wait) {
                return refuse("--lock-timeout: a number of seconds from 0 to 3600");
            }
            lock_wait = *wait;
        } else if (arg == "--to" && i + 1 < argc) {
            recipients.push_back(argv[++i]);
        } else if (arg == "--to-file" && i + 1 < argc) {
            std::string name = argv[++i];
            std::string refusal;
            auto file = read_input(read_file_bounded(name, input_limit), name, refusal);
            if (!file) {
                return refuse(refusal);
            }
            std::string rest = strip_final_newline(from_text_mode(*file));
            size_t start = 0;
            while (start <= rest.size() && !rest.empty()) {
                size_t end = rest.find('\n', start);
                std::string line = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                recipients.push_back(line);
                if (end == std::string::npos) {
                    break;
                }
                start = end + 1;
            }
        } else if (!have_text && (arg == "-" || arg.rfind("--", 0) != 0)) {
            if (arg == "-") {
                std::string refusal;
                auto input = read_input(read_fd_bounded(STDIN_FILENO, input_limit), "standard input", refusal);
                if (!input) {
                    return refuse(refusal);
                }
                text = strip_final_newline(*input);
            } else {
                text = arg;
            }
            have_text = true;
        } else {
            return usage();
        }
    }
    if (!have_text) {
        return usage();
    }
    auto recipients_gbk = utf8_to_gbk(box_lines(recipients));
    if (!recipients_gbk) {
        return refuse("收信人含有无法用GBK编码保存的字符，未加入发送队列。");
    }
    auto content_gbk = utf8_to_gbk(box_text(text));
    if (!content_gbk) {
        return refuse("短信内容含有无法用GBK编码保存的字符，未加入发送队列。");
    }
    // The compose box takes anything, and the engine would pass over a line it cannot send to without
    // a word; here nobody would see that, so such a message is not queued at all.
    std::vector<std::string> unsendable = unsendable_recipients(*recipients_gbk);
    if (!unsendable.empty()) {
        return refuse("收信人不是手机号码、号码段或通讯录中的客户：" + recipient_list_utf8(unsendable) +
                      "，未加入发送队列。");
    }
    if (!recipients_gbk->empty() && box_recipient_lines(*recipients_gbk).empty()) {
        return refuse(gbk_to_utf8_lossy(enqueue_status_text(EnqueueStatus::EmptyRecipients)));
    }
    MessageQueue queue(read_db_settings());
    if (database_required && !queue.shared()) {
        std::fputs("vmsms-send: --db: server.txt names no database (set DSN=postgresql://... in its [DB] section); "
                   "nothing queued\n",
                   stderr);
        return exit_failed;
    }
    EnqueueResult result = queue.queue(*recipients_gbk, *content_gbk, english, real_clock(), long_messages, lock_wait);
    if (result.status != EnqueueStatus::Queued) {
        bool failed = result.status == EnqueueStatus::WriteFailed || result.status == EnqueueStatus::LockFailed ||
                      result.status == EnqueueStatus::SharingFailed;
        std::fprintf(stderr, "%s\n", gbk_to_utf8_lossy(enqueue_result_text(result)).c_str());
        if (result.status == EnqueueStatus::ContentTooLong) {
            std::fprintf(stderr, "%s\n", size_detail(*content_gbk, english, long_messages).c_str());
        }
        return failed ? exit_failed : exit_refused;
    }
    std::printf("%ld\n", result.record);
    return 0;
}
