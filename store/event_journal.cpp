#include "store/event_journal.h"

#include "platform/data_file.h"
#include "platform/fs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <iterator>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The most a reader takes of a day file in one go.
constexpr std::size_t read_chunk = std::size_t{4} << 20;

std::string escaped(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (char c : field) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::optional<std::string> unescaped(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size()) {
            return std::nullopt;
        }
        switch (field[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return out;
}

std::vector<std::string_view> split_tabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

std::optional<long long> number_of(std::string_view field, long long most) {
    if (field.empty() || field.size() > 18 || field.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    long long value = std::strtoll(std::string(field).c_str(), nullptr, 10);
    if (value > most) {
        return std::nullopt;
    }
    return value;
}

bool is_day_file(const std::string& name) {
    return name.size() == 12 && name.compare(8, 4, ".txt") == 0 && name.find_first_not_of("0123456789") == 8;
}

std::string day_file_of(const LocalTime& t) {
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d.txt", t.year, t.month, t.day);
    return name;
}

// At most `most` bytes of the file from `offset`; nullopt when it cannot be read.
std::optional<std::string> read_from(const std::string& path, std::size_t offset, std::size_t most) {
    int fd = open_data_file(path);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string bytes(most, '\0');
    std::size_t got = 0;
    while (got < most) {
        ssize_t n = ::pread(fd, bytes.data() + got, most - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    return bytes;
}

// The complete lines of `bytes` (those ending in '\n'), each with the offset after it.
template <typename Visit> void each_line(std::string_view bytes, Visit visit) {
    std::size_t start = 0;
    for (;;) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) {
            return;
        }
        if (!visit(bytes.substr(start, end - start), end + 1)) {
            return;
        }
        start = end + 1;
    }
}

std::optional<long long> seq_of_line(std::string_view line) {
    return number_of(line.substr(0, line.find('\t')), 999999999999999LL);
}

} // namespace

std::string journal_event_id(const std::string& kind, const std::string& day, long record, int index) {
    std::string id = day + "-" + kind + "-" + std::to_string(record);
    if (kind != "received" && kind != "optout") {
        id += "-" + std::to_string(index);
    }
    return id;
}

std::string journal_time(const LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

std::string journal_line(const JournalEvent& e) {
    std::string line = std::to_string(e.seq) + '\t' + escaped(e.id) + '\t' + escaped(e.kind) + '\t' + escaped(e.time) +
                       '\t' + escaped(e.day) + '\t' + std::to_string(e.record) + '\t' + std::to_string(e.index) + '\t' +
                       std::to_string(e.parts) + '\t' + escaped(e.number) + '\t' + escaped(e.detail) + '\t' +
                       escaped(e.text);
    return line + '\n';
}

std::optional<JournalEvent> parse_journal_line(std::string_view line) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    std::vector<std::string_view> f = split_tabs(line);
    if (f.size() != 11) {
        return std::nullopt;
    }
    JournalEvent e;
    auto seq = number_of(f[0], 999999999999999LL);
    auto record = number_of(f[5], 2000000000);
    auto index = number_of(f[6], 2000000000);
    auto parts = number_of(f[7], 255);
    if (!seq || !record || !index || !parts) {
        return std::nullopt;
    }
    std::optional<std::string> texts[6];
    const int at[6] = {1, 2, 3, 4, 8, 9};
    for (int i = 0; i < 6; ++i) {
        texts[i] = unescaped(f[static_cast<std::size_t>(at[i])]);
        if (!texts[i]) {
            return std::nullopt;
        }
    }
    std::optional<std::string> text = unescaped(f[10]);
    if (!text || texts[0]->empty() || texts[1]->empty()) {
        return std::nullopt;
    }
    e.seq = *seq;
    e.id = std::move(*texts[0]);
    e.kind = std::move(*texts[1]);
    e.time = std::move(*texts[2]);
    e.day = std::move(*texts[3]);
    e.record = static_cast<long>(*record);
    e.index = static_cast<int>(*index);
    e.parts = static_cast<int>(*parts);
    e.number = std::move(*texts[4]);
    e.detail = std::move(*texts[5]);
    e.text = std::move(*text);
    return e;
}

std::vector<std::string> journal_files(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) {
        return names;
    }
    while (dirent* entry = ::readdir(d)) {
        std::string name = entry->d_name;
        if (is_day_file(name)) {
            names.push_back(name);
        }
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// --- Reading -------------------------------------------------------------------------------------------

JournalPosition JournalReader::end() const {
    std::vector<std::string> files = journal_files(dir_);
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        JournalPosition at{*it, 0, 0};
        while (!read(at, 100000).empty()) {
        }
        if (at.seq > 0) {
            return at;
        }
    }
    return {};
}

JournalPosition JournalReader::after_seq(long long seq) const {
    std::vector<std::string> files = journal_files(dir_);
    if (files.empty()) {
        return {};
    }
    // The newest file whose first event is no later than the one after `seq`.
    std::size_t chosen = 0;
    for (std::size_t i = files.size(); i-- > 0;) {
        std::optional<std::string> head = read_from(dir_ + "/" + files[i], 0, 64);
        std::optional<long long> first = head ? seq_of_line(*head) : std::nullopt;
        if (first && *first <= seq + 1) {
            chosen = i;
            break;
        }
    }
    JournalPosition at{files[chosen], 0, 0};
    for (;;) {
        JournalPosition before = at;
        std::vector<JournalEvent> events = read(at, 1);
        if (events.empty()) {
            return at;
        }
        if (events.front().seq > seq) {
            before.seq = std::max(before.seq, seq);
            return before;
        }
    }
}

std::optional<JournalPosition> JournalReader::after_id(const std::string& id) const {
    std::vector<std::string> files = journal_files(dir_);
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        JournalPosition at{*it, 0, 0};
        for (bool more = true; more;) {
            for (const JournalEvent& e : read_in_file(at, 1000, more)) {
                if (e.id == id) {
                    return after_seq(e.seq);
                }
            }
        }
    }
    return std::nullopt;
}

std::vector<JournalEvent> JournalReader::read_in_file(JournalPosition& at, std::size_t most, bool& more) const {
    std::vector<JournalEvent> events;
    more = false;
    while (events.size() < most) {
        std::optional<std::string> bytes = read_from(dir_ + "/" + at.file, at.offset, read_chunk);
        std::size_t used = 0;
        if (bytes) {
            each_line(*bytes, [&](std::string_view line, std::size_t after) {
                used = after;
                std::optional<JournalEvent> e = parse_journal_line(line);
                if (e && e->seq > at.seq) {
                    at.seq = e->seq;
                    events.push_back(std::move(*e));
                }
                return events.size() < most;
            });
        }
        at.offset += used;
        more = bytes && bytes->size() == read_chunk && used > 0;
        if (!more) {
            break;
        }
    }
    if (events.size() >= most) {
        more = true;
    }
    return events;
}

std::vector<JournalEvent> JournalReader::read(JournalPosition& at, std::size_t most) const {
    std::vector<JournalEvent> events;
    while (events.size() < most) {
        // The files are listed before this one is read: a later file seen then means this one was
        // finished before the read, so its end is its end.
        std::vector<std::string> files = journal_files(dir_);
        auto later = std::upper_bound(files.begin(), files.end(), at.file);
        if (at.file.empty() || std::find(files.begin(), files.end(), at.file) == files.end()) {
            // Not begun, or its file was removed as too old: the next file kept.
            if (later == files.end()) {
                break;
            }
            at = {*later, 0, at.seq};
            continue;
        }
        bool more = false;
        std::vector<JournalEvent> got = read_in_file(at, most - events.size(), more);
        std::move(got.begin(), got.end(), std::back_inserter(events));
        if (more || later == files.end()) {
            break; // enough, or the newest file read as far as it is written
        }
        // A finished file: an unfinished line at its end is never completed.
        at = {*later, 0, at.seq};
    }
    return events;
}

// --- Writing -------------------------------------------------------------------------------------------

JournalWriter::JournalWriter(std::string dir, int keep_days) : dir_(std::move(dir)), keep_days_(keep_days) {
    load();
}

JournalWriter::~JournalWriter() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

// The last seq, and the ids of the two newest files. An unfinished last line (the writer was killed in
// the middle of it) is cut off, so the next event begins a line of its own.
void JournalWriter::load() {
    make_dir(dir_);
    std::vector<std::string> files = journal_files(dir_);
    JournalReader reader(dir_);
    for (std::size_t i = files.size() >= 2 ? files.size() - 2 : 0; i < files.size(); ++i) {
        JournalPosition at{files[i], 0, 0};
        std::unordered_set<std::string>& ids = i + 1 == files.size() ? ids_ : older_ids_;
        for (bool more = true; more;) {
            for (JournalEvent& e : reader.read_in_file(at, 100000, more)) {
                last_seq_ = std::max(last_seq_, e.seq);
                ids.insert(std::move(e.id));
            }
        }
        if (i + 1 == files.size()) {
            current_file_ = files[i];
            known_size_ = at.offset;
            std::string path = dir_ + "/" + files[i];
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0 && static_cast<std::size_t>(st.st_size) > at.offset) {
                if (::truncate(path.c_str(), static_cast<off_t>(at.offset)) != 0) {
                    current_file_.clear(); // begun again below, as a new file would be
                }
            }
        }
    }
    if (files.size() == 1) {
        older_ids_.clear();
    }
    // Older files only tell the last seq when the newest ones are empty.
    if (last_seq_ == 0) {
        last_seq_ = reader.end().seq;
    }
}

void JournalWriter::begin_day(const std::string& file, const LocalTime& now) {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!current_file_.empty() && file != current_file_) {
        older_ids_ = std::move(ids_);
        ids_.clear();
    }
    current_file_ = file;
    known_size_ = 0; // another writer may have begun it already: read when appending
    // Files of days past the keeping are removed as a new day begins.
    long long oldest = seconds_of(now) - static_cast<long long>(keep_days_) * 86400;
    std::string oldest_file = day_file_of(local_time_of(oldest));
    for (const std::string& name : journal_files(dir_)) {
        if (name < oldest_file) {
            remove_file(dir_ + "/" + name);
        }
    }
}

// Lines another writer appended since this one last looked (a second engine of the same process, or
// of another): their seqs and ids count, so seqs stay unique and an id is still journaled once.
void JournalWriter::catch_up_locked() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || static_cast<std::size_t>(st.st_size) <= known_size_) {
        return;
    }
    std::optional<std::string> bytes =
        read_from(dir_ + "/" + current_file_, known_size_, static_cast<std::size_t>(st.st_size) - known_size_);
    if (!bytes) {
        return;
    }
    each_line(*bytes, [&](std::string_view line, std::size_t) {
        if (std::optional<JournalEvent> e = parse_journal_line(line)) {
            last_seq_ = std::max(last_seq_, e->seq);
            ids_.insert(std::move(e->id));
        }
        return true;
    });
    std::size_t complete = bytes->rfind('\n');
    known_size_ += complete == std::string::npos ? 0 : complete + 1;
}

JournalWriter::Appended JournalWriter::append(JournalEvent& event, const LocalTime& now) {
    Appended result;
    if (ids_.count(event.id) != 0 || older_ids_.count(event.id) != 0) {
        result.ok = true;
        result.repeat = true;
        return result;
    }
    std::string file = day_file_of(now);
    if (file != current_file_ || fd_ < 0) {
        if (file != current_file_) {
            begin_day(file, now);
        }
        make_dir(dir_);
        fd_ = ::open((dir_ + "/" + file).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd_ < 0) {
            result.error = errno;
            return result;
        }
    }
    if (event.time.empty()) {
        event.time = journal_time(now);
    }
    ::flock(fd_, LOCK_EX);
    catch_up_locked();
    if (!event.id.empty() && ids_.count(event.id) != 0) {
        ::flock(fd_, LOCK_UN);
        result.ok = true;
        result.repeat = true;
        return result;
    }
    event.seq = last_seq_ + 1;
    if (event.id.empty()) {
        // An event that is no message's (a change of state): named by its place in the journal.
        event.id =
            (event.day.empty() ? spool_date(now) : event.day) + "-" + event.kind + "-s" + std::to_string(event.seq);
    }
    std::string line = journal_line(event);
    if (line.size() > journal_line_limit) {
        std::size_t over = line.size() - journal_line_limit;
        event.text.resize(event.text.size() > over + 16 ? event.text.size() - over - 16 : 0);
        line = journal_line(event);
    }
    ssize_t written = ::write(fd_, line.data(), line.size());
    int error = errno;
    if (written != static_cast<ssize_t>(line.size())) {
        if (written > 0) {
            // Half a line would glue the next event to it: take it back.
            struct stat st {};
            if (::fstat(fd_, &st) == 0) {
                [[maybe_unused]] int cut = ::ftruncate(fd_, st.st_size - written);
            }
            error = ENOSPC;
        }
        ::flock(fd_, LOCK_UN);
        result.error = error;
        return result;
    }
    known_size_ += line.size();
    ::flock(fd_, LOCK_UN);
    last_seq_ = event.seq;
    ids_.insert(event.id);
    result.ok = true;
    result.seq = event.seq;
    return result;
}
