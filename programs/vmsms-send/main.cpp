// vmsms-send: queue one outgoing message into today's spool, as the compose tab does.
//   vmsms-send [--english] [--long] [--key KEY] [--to NUMBER]... [--to-file FILE] TEXT
// TEXT "-" reads standard input. Arguments are UTF-8 and are stored as GBK.

#include "platform/fs.h"
#include "platform/gbk.h"
#include "platform/program_options.h"
#include "platform/text_file.h"
#include "queue/digest.h"
#include "queue/enqueue.h"
#include "queue/idempotency_keys.h"
#include "queue/keyed_enqueue.h"
#include "queue/message_queue.h"
#include "queue/opted_out.h"
#include "store/box_text.h"
#include "store/content_size.h"
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

// The namespace of vmsms-send's idempotency keys: no token's (those begin with "token-").
constexpr const char* key_writer = "vmsms-send";

const char help_head[] =
    "usage: vmsms-send [OPTION]... TEXT|-\n"
    "Queues one message into today's spool of the working directory, exactly as the window's compose\n"
    "tab does, and prints its record number. A running gateway (vmsms or vmsmsd) in that directory\n"
    "sends it. TEXT is UTF-8; - reads it from standard input.\n"
    "\n";

const char help_tail[] =
    "\n"
    "With [DB] DSN=postgresql://... in server.txt the recipients also go into the shared queue's\n"
    "outbox, in one transaction, before the record counts as queued: any gateway of the queue sends it.\n"
    "\n"
    "With --key, a message queued under the same KEY within 48 hours is not queued again: the first\n"
    "record number is printed and the status is 0; another message under that KEY is refused (2).\n"
    "\n"
    "Exit status: 0 queued, 2 refused (nothing queued; the reason on standard error), 1 the queue\n"
    "could not be locked or written, the key could not be kept, or the database did not take the\n"
    "message.\n";

// A --to (the recipients as given) or a --to-file (the file's name).
struct RecipientSource {
    bool file = false;
    std::string text;
};

// What the command line asks for, read once. Up to its first mistake only: the files and standard
// input named before it are read, and a problem with them is told, before the mistake is.
struct SendLine {
    bool english = false;
    bool long_messages = false;
    bool database_required = false;
    std::chrono::milliseconds lock_wait{0};
    std::optional<std::string> key;          // --key
    std::vector<RecipientSource> recipients; // in their order
    std::optional<std::string> text;         // "-": standard input
    std::size_t sources_before_text = 0;     // where TEXT stands among the recipients
};

int usage() {
    std::fputs("usage: vmsms-send [--dir PATH] [--db] [--english] [--long] [--lock-timeout SECONDS] [--key KEY]\n"
               "                  [--to NUMBER]... [--to-file FILE] TEXT|-\n"
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

// The lines of a --to-file, each a recipient.
void append_lines(const std::string& file, std::vector<std::string>& recipients) {
    std::string rest = strip_final_newline(from_text_mode(file));
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
}

OptionSpec set_flag(std::string name, std::string help, bool& target) {
    return flag_option(std::move(name), std::move(help), [&target] { target = true; });
}

OptionSpec recipient_option(std::string name, std::string argument, std::string help, bool file, SendLine& line) {
    return argument_option(std::move(name), std::move(argument), std::move(help),
                           [file, &line](const std::string& text) {
                               line.recipients.push_back({file, text});
                               return std::string();
                           });
}

ProgramSpec send_spec(SendLine& line) {
    ProgramSpec spec;
    spec.program = "vmsms-send";
    spec.help_head = help_head;
    spec.help_tail = help_tail;
    spec.help_column = 21;
    spec.options = {
        recipient_option("--to", "NUMBER",
                         "a recipient: a phone number (up to 12 digits), a number range such as\n"
                         "13566668888-13577779999, or an address-book customer; repeat for more, or\n"
                         "separate them with ';'",
                         false, line),
        recipient_option("--to-file", "FILE", "recipients from FILE, one per line", true, line),
        set_flag("--english", "send in the GSM 7-bit alphabet (160 characters); else as Chinese (70)", line.english),
        // LONGSMS=1 in server.txt lets long messages in, as the window does when its box is ticked.
        set_flag("--long",
                 "let a long message in: up to ten linked parts (670 Chinese characters, 1530\n"
                 "English); also {setting}=1 in server.txt",
                 line.long_messages)
            .from_setting(settings::long_messages.key,
                          [&line] { line.long_messages = setting_is_on(settings::long_messages); }),
        dir_option("queue in PATH instead of the current directory"),
        argument_option("--lock-timeout", "SECONDS",
                        "wait at most this long (0 to 3600, default {default}) for the day's queue lock\n"
                        "while another writer holds it, then give up (exit 1)",
                        [&line](const std::string& text) {
                            std::optional<std::chrono::milliseconds> wait = lock_timeout(text);
                            if (!wait) {
                                return std::string("a number of seconds from 0 to 3600");
                            }
                            line.lock_wait = *wait;
                            return std::string();
                        })
            .defaults_to("5"),
        argument_option("--key", "KEY",
                        "an idempotency key (1 to 255 printable ASCII characters): the same message\n"
                        "with the same KEY again within 48 hours is not queued twice",
                        [&line](const std::string& text) {
                            if (!valid_idempotency_key(text)) {
                                return std::string("1 to 255 printable ASCII characters");
                            }
                            line.key = text;
                            return std::string();
                        }),
        set_flag("--db",
                 "insist on the shared queue: refuse (exit 1) unless server.txt names its\n"
                 "database ([DB] DSN=...); with a DSN the message always goes there too",
                 line.database_required),
        help_option(),
        version_option(),
    };
    spec.operand = [&line](const std::string& text) {
        if (line.text) {
            return std::string("one text only");
        }
        line.text = text;
        line.sources_before_text = line.recipients.size();
        return std::string();
    };
    return spec;
}

// Reads TEXT "-" from standard input into `text`; nothing, or the refusal.
std::optional<int> read_standard_input(std::string& text) {
    std::string refusal;
    auto input = read_input(read_fd_bounded(STDIN_FILENO, input_limit), "standard input", refusal);
    if (!input) {
        return refuse(refusal);
    }
    text = strip_final_newline(*input);
    return std::nullopt;
}

// The recipients and the text, the files and standard input read in their order on the command line;
// the status to end with when one cannot be read.
std::optional<int> gather_input(SendLine& line, std::vector<std::string>& recipients) {
    for (std::size_t i = 0; i <= line.recipients.size(); ++i) {
        if (line.text && i == line.sources_before_text && *line.text == "-") {
            if (std::optional<int> status = read_standard_input(*line.text)) {
                return status;
            }
        }
        if (i == line.recipients.size()) {
            break;
        }
        const RecipientSource& source = line.recipients[i];
        if (!source.file) {
            recipients.push_back(source.text);
            continue;
        }
        std::string refusal;
        auto file = read_input(read_file_bounded(source.text, input_limit), source.text, refusal);
        if (!file) {
            return refuse(refusal);
        }
        append_lines(*file, recipients);
    }
    return std::nullopt;
}

int bad_line(const CommandLineError& error) {
    if (error.kind == CommandLineError::Kind::BadArgument) {
        return refuse(error.word + ": " + error.problem);
    }
    return usage();
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

// With an opt-out list, how many recipients the gateway will pass over; a line on standard error, so
// that standard output stays the record number alone.
void tell_opted_out(const std::string& recipients_gbk) {
    OptedOutCount count = count_opted_out(recipients_gbk);
    if (!count.list_present) {
        return;
    }
    if (!count.list_readable) {
        std::fputs("vmsms-send: optout.txt cannot be read: the gateway sends this message to nobody until it can\n",
                   stderr);
        return;
    }
    std::fprintf(stderr, "vmsms-send: %zu of %zu recipients are on the opt-out list (退订) and get nothing\n",
                 count.opted_out, count.recipients);
}

// Prints the record number, or why the message was not queued; the exit status.
int report(const EnqueueResult& result, const SendLine& asked, const std::string& recipients_gbk,
           const std::string& content_gbk) {
    if (result.status != EnqueueStatus::Queued) {
        bool failed = result.status == EnqueueStatus::WriteFailed || result.status == EnqueueStatus::LockFailed ||
                      result.status == EnqueueStatus::SharingFailed;
        std::fprintf(stderr, "%s\n", gbk_to_utf8_lossy(enqueue_result_text(result)).c_str());
        if (result.status == EnqueueStatus::ContentTooLong) {
            std::fprintf(stderr, "%s\n", size_detail(content_gbk, asked.english, asked.long_messages).c_str());
        }
        return failed ? exit_failed : exit_refused;
    }
    std::printf("%ld\n", result.record);
    tell_opted_out(recipients_gbk);
    return 0;
}

// --key: the message as the key remembers it (recipients, text and options), hashed.
std::string message_identity(const SendLine& asked, const std::string& recipients_gbk, const std::string& content_gbk) {
    return recipients_gbk + '\0' + content_gbk + '\0' + (asked.english ? '1' : '0') + (asked.long_messages ? '1' : '0');
}

// Queues under --key: a repeat prints the first record number, as the first run did.
int queue_under_key(MessageQueue& queue, const SendLine& asked, const std::string& recipients_gbk,
                    const std::string& content_gbk) {
    std::optional<std::string> hash = sha256_hex(message_identity(asked, recipients_gbk, content_gbk));
    if (!hash) {
        std::fputs("vmsms-send: cannot hash the message for --key; nothing queued\n", stderr);
        return exit_failed;
    }
    KeyedResult keyed = queue_with_key(
        {key_writer, *asked.key, *hash, "-"}, real_clock(),
        [&](const RecordShare& keep_key) {
            return queue.queue(recipients_gbk, content_gbk, asked.english, real_clock(), asked.long_messages,
                               asked.lock_wait, keep_key);
        },
        asked.lock_wait);
    switch (keyed.status) {
    case KeyedStatus::Queued:
    case KeyedStatus::Repeat:
    case KeyedStatus::NotQueued:
        return report(keyed.result, asked, recipients_gbk, content_gbk);
    case KeyedStatus::OtherMessage:
        std::fprintf(stderr, "%s\n", gbk_to_utf8_lossy(keyed_result_text(keyed)).c_str());
        return exit_refused;
    case KeyedStatus::BadKey:
    case KeyedStatus::KeyLockFailed:
    case KeyedStatus::KeyStoreFailed:
        break;
    }
    std::fprintf(stderr, "%s\n", gbk_to_utf8_lossy(keyed_result_text(keyed)).c_str());
    return exit_failed;
}

int main(int argc, char** argv) {
    SendLine asked;
    ProgramSpec spec = send_spec(asked);
    CommandLine line = read_command_line(spec, argc, argv);
    if (std::optional<int> status = settle_common_options(spec, line)) {
        return *status;
    }
    if (!file_exists("server.txt")) {
        // Queueing still works, but it is worth saying: most likely the wrong directory.
        std::fputs("vmsms-send: warning: this directory holds no server.txt: no gateway sends from this spool "
                   "(use --dir to name the gateway's working directory)\n",
                   stderr);
    }
    load_settings(spec, &line);
    std::vector<std::string> recipients;
    if (std::optional<int> status = gather_input(asked, recipients)) {
        return *status;
    }
    if (line.error) {
        return bad_line(*line.error);
    }
    if (!asked.text) {
        return usage();
    }
    const std::string& text = *asked.text;
    bool english = asked.english;
    bool long_messages = asked.long_messages;
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
    if (asked.database_required && !queue.shared()) {
        std::fputs("vmsms-send: --db: server.txt names no database (set DSN=postgresql://... in its [DB] section); "
                   "nothing queued\n",
                   stderr);
        return exit_failed;
    }
    if (asked.key) {
        return queue_under_key(queue, asked, *recipients_gbk, *content_gbk);
    }
    EnqueueResult result =
        queue.queue(*recipients_gbk, *content_gbk, english, real_clock(), long_messages, asked.lock_wait);
    return report(result, asked, *recipients_gbk, *content_gbk);
}
