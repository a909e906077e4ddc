#pragma once

#include <cstddef>
#include <string>

// What the engine shows the operator: the window caption and the monitor text (newest first).
// Texts are GBK. The console posts each change to the GUI thread in order; vmsmsd prints them.
class OperatorOutput {
public:
    virtual ~OperatorOutput() = default;
    virtual void set_caption(const std::string& text) = 0;
    virtual void replace_monitor(const std::string& text) = 0;
    virtual void prepend_monitor(const std::string& text) = 0;
    // The monitor text's length in characters, as the window counts them.
    virtual std::size_t monitor_length() = 0;
};
