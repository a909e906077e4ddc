#include "queue/keyed_enqueue.h"

#include "platform/fs.h"
#include "platform/gbk.h"
#include "queue/digest.h"
#include "queue/idempotency_keys.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

bool hex_digest(const std::string& text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

bool keepable(const KeyedMessage& message) {
    KeyEntry probe;
    probe.day = "1";
    probe.record = 1;
    probe.message_hash = message.message_hash;
    probe.record_hash = std::string(64, '0');
    probe.answer = message.answer;
    probe.key = message.key;
    return valid_key_writer(message.writer) && hex_digest(message.message_hash) &&
           parse_key_line(key_line(probe)).has_value();
}

// Whether the key's record is queued and holds what was written when the key was.
bool record_still_there(const KeyEntry& entry) {
    if (read_counter(entry.day, SpoolDir::New) < entry.record) {
        return false;
    }
    std::optional<std::string> fingerprint = record_fingerprint(entry.day, entry.record);
    return fingerprint && *fingerprint == entry.record_hash;
}

KeyedResult answer_from_key(const KeyEntry& entry, const KeyedMessage& message) {
    KeyedResult out;
    if (entry.message_hash != message.message_hash) {
        out.status = KeyedStatus::OtherMessage;
        return out;
    }
    out.status = KeyedStatus::Repeat;
    out.result.status = EnqueueStatus::Queued;
    out.result.day = entry.day;
    out.result.record = entry.record;
    out.answer = entry.answer;
    return out;
}

KeyedResult store_failed(std::string error) {
    KeyedResult out;
    out.status = KeyedStatus::KeyStoreFailed;
    out.error = std::move(error);
    return out;
}

} // namespace

std::optional<std::string> record_fingerprint(const std::string& day, long record) {
    RecordTexts texts = read_record(day, SpoolDir::New, record);
    if (!texts.header || !texts.content || !texts.recipients) {
        return std::nullopt;
    }
    std::string recipients = *texts.recipients;
    if (!recipients.empty() && recipients.front() == '*') {
        recipients.erase(0, 1); // barred by the operator since: still the same record
    }
    std::string whole = std::to_string(texts.header->size()) + ":" + *texts.header +
                        std::to_string(texts.content->size()) + ":" + *texts.content + recipients;
    return sha256_hex(whole);
}

KeyedResult queue_with_key(const KeyedMessage& message, Clock& clock, const KeyedQueueing& queue,
                           std::chrono::milliseconds lock_wait) {
    if (!keepable(message)) {
        KeyedResult out;
        out.status = KeyedStatus::BadKey;
        return out;
    }
    make_dir(idempotency_dir);
    const std::string lock_path = key_lock_path(message.writer);
    FileLock lock(lock_path, lock_wait);
    if (!lock.locked()) {
        KeyedResult out;
        out.status = KeyedStatus::KeyLockFailed;
        out.result.lock_error = lock.error();
        out.error = "cannot lock " + lock_path + ": " +
                    (lock.error() == ETIMEDOUT ? std::string("another writer holds it") : std::strerror(lock.error()));
        return out;
    }
    const std::string path = key_file_path(message.writer);
    KeyFile file = read_key_file(path);
    if (!file.read) {
        return store_failed(file.error);
    }
    const long long now = seconds_of(clock.now());
    std::vector<KeyEntry> kept; // the live keys but this one: the file as it is written next
    for (KeyEntry& entry : file.entries) {
        if (!key_alive(entry, now)) {
            continue;
        }
        if (entry.key != message.key) {
            kept.push_back(std::move(entry));
        } else if (record_still_there(entry)) {
            return answer_from_key(entry, message);
        }
    }
    if (kept.size() >= max_keys_per_writer) {
        return store_failed("more than " + std::to_string(max_keys_per_writer) + " keys within 48 hours in " + path);
    }
    std::string key_error;
    RecordShare keep_key = [&](const std::string& day, long record, std::string& why) {
        std::optional<std::string> fingerprint = record_fingerprint(day, record);
        if (!fingerprint) {
            key_error = "cannot read back record " + day + "/" + std::to_string(record) + " to keep its key";
            why = key_error;
            return false;
        }
        kept.push_back({now, day, record, message.message_hash, *fingerprint, message.answer, message.key});
        if (!write_key_file(path, kept, key_error)) {
            kept.pop_back();
            why = key_error;
            return false;
        }
        return true;
    };
    KeyedResult out;
    out.result = queue(keep_key);
    if (!key_error.empty()) {
        out.status = KeyedStatus::KeyStoreFailed;
        out.error = key_error;
    } else {
        out.status = out.result.status == EnqueueStatus::Queued ? KeyedStatus::Queued : KeyedStatus::NotQueued;
    }
    return out;
}

std::string keyed_result_text(const KeyedResult& result) {
    switch (result.status) {
    case KeyedStatus::Queued:
    case KeyedStatus::Repeat:
        return {};
    case KeyedStatus::OtherMessage:
        return gbk("这个幂等键已用于另一条短信（48小时内），这条短信没有加入发送队列！");
    case KeyedStatus::NotQueued:
        return enqueue_result_text(result.result);
    case KeyedStatus::BadKey:
        return gbk("幂等键无效：应为 1 到 255 个可打印的 ASCII 字符，短信没有加入发送队列！");
    case KeyedStatus::KeyLockFailed:
        return gbk("无法锁定幂等键文件，短信没有加入发送队列！") + "\r\n" + result.error;
    case KeyedStatus::KeyStoreFailed:
        return gbk("幂等键无法保存，短信没有加入发送队列！") + "\r\n" + result.error;
    }
    return {};
}
