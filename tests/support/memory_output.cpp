#include "support/memory_output.h"

void MemoryOutput::set_caption(const std::string& text) {
    std::lock_guard lock(mutex_);
    caption_ = text;
    events_.push_back("caption:" + text);
}

void MemoryOutput::replace_monitor(const std::string& text) {
    std::lock_guard lock(mutex_);
    monitor_ = text;
    events_.push_back("replace:" + text);
}

void MemoryOutput::prepend_monitor(const std::string& text) {
    std::lock_guard lock(mutex_);
    monitor_ = text + monitor_;
    events_.push_back("prepend:" + text);
}

std::size_t MemoryOutput::monitor_length() {
    std::lock_guard lock(mutex_);
    return monitor_.size();
}

std::string MemoryOutput::caption() const {
    std::lock_guard lock(mutex_);
    return caption_;
}

std::string MemoryOutput::monitor() const {
    std::lock_guard lock(mutex_);
    return monitor_;
}

std::vector<std::string> MemoryOutput::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<std::string> MemoryOutput::prepended() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& e : events_) {
        if (e.rfind("prepend:", 0) == 0) {
            out.push_back(e.substr(8));
        }
    }
    return out;
}
