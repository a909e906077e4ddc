#pragma once

#include "engine/operator_output.h"

#include <mutex>
#include <string>
#include <vector>

// The operator outputs kept in memory: the caption, the monitor text as the window would hold it
// (newest first), and every change in order.
class MemoryOutput : public OperatorOutput {
public:
    void set_caption(const std::string& text) override;
    void replace_monitor(const std::string& text) override;
    void prepend_monitor(const std::string& text) override;
    std::size_t monitor_length() override;

    std::string caption() const;
    std::string monitor() const;
    // "caption:", "replace:" or "prepend:" followed by the text, one entry per change.
    std::vector<std::string> events() const;
    // The prepended texts only, in the order they were written.
    std::vector<std::string> prepended() const;

private:
    mutable std::mutex mutex_;
    std::string caption_;
    std::string monitor_;
    std::vector<std::string> events_;
};
