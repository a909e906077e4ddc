#pragma once

#include "platform/trace.h"

#include <mutex>
#include <string>
#include <string_view>

// A trace sink that keeps everything in memory, for tests that check what the engine traced. Safe to
// write from the engine thread while the test reads.
class MemoryTrace : public TraceSink {
public:
    void trace(std::string_view text) override;

    std::string text() const;
    bool contains(std::string_view part) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::string text_;
};
