#include "queue/message_queue.h"

MessageQueue::MessageQueue(DbSettings settings) : settings_(std::move(settings)) {
    if (settings_.on()) {
        writer_ = std::make_unique<SharedWriter>(settings_);
    }
}

std::unique_ptr<MessageQueue> MessageQueue::from_server_settings() {
    return std::make_unique<MessageQueue>(read_db_settings());
}

bool MessageQueue::same_database(const DbSettings& settings) const {
    return settings.on() == settings_.on() && settings.dsn == settings_.dsn && settings.gateway == settings_.gateway;
}

EnqueueResult MessageQueue::queue(const std::string& recipients_box, const std::string& content_gbk, bool english,
                                  Clock& clock, bool long_messages, std::chrono::milliseconds lock_wait,
                                  const RecordShare& first) {
    if (writer_) {
        return enqueue_shared(*writer_, recipients_box, content_gbk, english, clock, long_messages, lock_wait, first);
    }
    return enqueue_message(recipients_box, content_gbk, english, clock, long_messages, first, lock_wait);
}
