#pragma once

#include "engine/operator_output.h"

#include <mutex>
#include <string>

// vmsmsd's operator output: every caption change and monitor entry to standard error as UTF-8 lines,
// each tagged ("caption: ", "monitor: "), in the order the engine writes them; the monitor's length
// kept as the window counts it (GBK bytes). In a pool of modems each engine has its own, whose lines
// name its modem after the tag ("monitor: MODEM2: ...").
class PrintingOutput : public OperatorOutput {
public:
    explicit PrintingOutput(std::string modem = {});
    void set_caption(const std::string& text) override;
    void replace_monitor(const std::string& text) override;
    void prepend_monitor(const std::string& text) override;
    std::size_t monitor_length() override;

private:
    void print_locked(const char* tag, const std::string& text);

    std::string modem_prefix_; // "MODEM2: " in a pool, else empty
    std::mutex mutex_;
    std::size_t length_ = 0;
};
