#pragma once

#include <string_view>

// Where diagnostic trace lines go (./sms.log in a running engine, a buffer in tests).
// Texts are GBK and carry their own line ends.
class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void trace(std::string_view text) = 0;
};

// printf-style trace line.
void tracef(TraceSink& sink, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A sink that drops everything.
class NullTrace : public TraceSink {
public:
    void trace(std::string_view) override {}
};
