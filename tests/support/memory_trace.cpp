#include "support/memory_trace.h"

void MemoryTrace::trace(std::string_view text) {
    std::lock_guard lock(mutex_);
    text_.append(text);
}

std::string MemoryTrace::text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

bool MemoryTrace::contains(std::string_view part) const {
    std::lock_guard lock(mutex_);
    return text_.find(part) != std::string::npos;
}

void MemoryTrace::clear() {
    std::lock_guard lock(mutex_);
    text_.clear();
}
