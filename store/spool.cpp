#include "store/spool.h"

#include "platform/file_lock.h"
#include "platform/fs.h"
#include "platform/gbk.h"
#include "platform/ini_file.h"
#include "platform/text_file.h"
#include "platform/text_ops.h"

#include <mutex>

const char* spool_dir_name(SpoolDir dir) {
    switch (dir) {
    case SpoolDir::New:
        return "new";
    case SpoolDir::Send:
        return "send";
    case SpoolDir::Recv:
        return "recv";
    }
    return "new";
}

std::string spool_path(const std::string& day, SpoolDir dir, const std::string& name, long n) {
    std::string path = day + "/" + spool_dir_name(dir) + "/" + name;
    if (n >= 0) {
        path += std::to_string(n);
    }
    return path;
}

std::string counter_path(const std::string& day, SpoolDir dir) {
    return spool_path(day, dir, "acc");
}

void ensure_day_dirs(const std::string& day) {
    make_dir(day);
    make_dir(day + "/new");
    make_dir(day + "/send");
    make_dir(day + "/recv");
    make_dir(day + "/qury");
}

std::optional<long> read_counter_text(const std::string& path, std::size_t max_chars) {
    auto line = read_first_line(path, max_chars);
    if (!line) {
        return std::nullopt;
    }
    return static_cast<long>(parse_decimal(*line));
}

long read_counter(const std::string& day, SpoolDir dir) {
    long v = read_counter_text(counter_path(day, dir)).value_or(0);
    return v > 0 ? v : 0;
}

bool write_counter(const std::string& day, SpoolDir dir, long value) {
    return replace_file_atomically(counter_path(day, dir), std::to_string(value));
}

std::string queue_lock_path(const std::string& day) {
    return spool_path(day, SpoolDir::New, "acc.lock");
}

std::string outgoing_header(const std::string& date_time) {
    static const std::string tail = gbk("send= \ntype=查询\nstat=未发\njrade=紧急\n");
    return "[HEAD]\ntime=" + date_time + "\n" + tail;
}

std::string incoming_header(const std::string& date_time) {
    return "[HEAD]\ntime=" + date_time + "\nsend= \nstat= \njrade= \n";
}

long queue_outgoing_record(const std::string& day, const std::string& recipients, const std::string& date_time,
                           const std::string& content, Clock& clock, int* lock_error, const RecordShare& share,
                           std::string* share_error, std::chrono::milliseconds lock_wait) {
    FileLock lock(queue_lock_path(day), lock_wait);
    if (!lock.locked()) {
        if (lock_error) {
            *lock_error = lock.error();
        }
        return queue_not_locked;
    }
    long n = read_counter(day, SpoolDir::New) + 1;
    std::string r = spool_path(day, SpoolDir::New, "R", n);
    if (!write_text_file(r, recipients)) {
        clock.sleep_ms(10);
        if (!write_text_file(r, recipients)) {
            return record_not_written;
        }
    }
    if (!write_text_file(spool_path(day, SpoolDir::New, "H", n), outgoing_header(date_time)) ||
        !write_text_file(spool_path(day, SpoolDir::New, "DA", n), content)) {
        return record_not_written;
    }
    // Files no counter points to are overwritten by the next record: a refused one leaves nothing.
    std::string why;
    if (share && !share(day, n, why)) {
        if (share_error) {
            *share_error = why;
        }
        return record_not_shared;
    }
    if (!write_counter(day, SpoolDir::New, n)) {
        return record_not_written;
    }
    return n;
}

long store_incoming_record(const std::string& day, const std::string& sender, const std::string& text,
                           const std::string& date_time, const RecordNumberNote& before) {
    // The engines of a pool store what their modems receive into the one day's recv: n is taken, what
    // names it noted and the counter raised by one of them at a time.
    static std::mutex one_writer;
    std::lock_guard lock(one_writer);
    long n = read_counter(day, SpoolDir::Recv) + 1;
    if (before && !before(n)) {
        return record_note_refused;
    }
    if (!write_text_file(spool_path(day, SpoolDir::Recv, "R", n), sender) ||
        !write_text_file(spool_path(day, SpoolDir::Recv, "DA", n), text) ||
        !write_text_file(spool_path(day, SpoolDir::Recv, "H", n), incoming_header(date_time)) ||
        !write_counter(day, SpoolDir::Recv, n)) {
        return -1;
    }
    return n;
}

RecordTexts read_record(const std::string& day, SpoolDir dir, long n) {
    long i = n;
    return {read_text_file(spool_path(day, dir, "H", i)), read_text_file(spool_path(day, dir, "DA", i)),
            read_text_file(spool_path(day, dir, "R", i))};
}

std::optional<std::string> read_record_time(const std::string& day, SpoolDir dir, long n) {
    std::string path = spool_path(day, dir, "H", n);
    if (!file_exists(path)) {
        return std::nullopt;
    }
    return ini_read(path, "HEAD", "time", "", 20);
}

bool rewrite_recipients(const std::string& day, long n, const std::string& recipients) {
    return replace_text_file_atomically(spool_path(day, SpoolDir::New, "R", n), recipients);
}

bool rewrite_content(const std::string& day, long n, const std::string& content) {
    return replace_text_file_atomically(spool_path(day, SpoolDir::New, "DA", n), content);
}

bool bar_record(const std::string& day, long n, const std::optional<std::string>& recipients) {
    std::string path = spool_path(day, SpoolDir::New, "R", n);
    auto current = read_text_file(path);
    if (!current) {
        return false;
    }
    return replace_text_file_atomically(path, "*" + recipients.value_or(*current));
}
