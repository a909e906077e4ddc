#include "support/fake_serial_port.h"

#include <algorithm>
#include <cstring>
#include <utility>

void FakeSerialPort::script(const std::vector<ModemReply>& rows) {
    std::lock_guard lock(mutex_);
    script_.insert(script_.end(), rows.begin(), rows.end());
}

void FakeSerialPort::standing(const std::vector<ModemReply>& rows) {
    std::lock_guard lock(mutex_);
    standing_ = rows;
}

void FakeSerialPort::push_input(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    input_ += bytes;
}

void FakeSerialPort::push_input_at(long long at_ms, const std::string& bytes) {
    std::lock_guard lock(mutex_);
    timed_.push_back({at_ms, bytes});
}

long long FakeSerialPort::now_ms() const {
    return clock_ ? clock_->elapsed_ms() : 0;
}

void FakeSerialPort::take_due_input(long long now) {
    // Without a clock nothing is ever late: every answer is there at once.
    auto due = [&](const TimedInput& t) { return !clock_ || t.at_ms <= now; };
    std::stable_sort(timed_.begin(), timed_.end(),
                     [](const TimedInput& a, const TimedInput& b) { return a.at_ms < b.at_ms; });
    auto first_late = std::find_if_not(timed_.begin(), timed_.end(), due);
    for (auto it = timed_.begin(); it != first_late; ++it) {
        input_ += it->bytes;
    }
    timed_.erase(timed_.begin(), first_late);
}

std::optional<long long> FakeSerialPort::next_due() const {
    std::optional<long long> next;
    for (const TimedInput& t : timed_) {
        if (!next || t.at_ms < *next) {
            next = t.at_ms;
        }
    }
    return next;
}

std::size_t FakeSerialPort::take_input(char* buffer, std::size_t count) {
    std::size_t n = std::min(count, input_.size());
    std::memcpy(buffer, input_.data(), n);
    input_.erase(0, n);
    return n;
}

void FakeSerialPort::set_silent(bool silent) {
    std::lock_guard lock(mutex_);
    silent_ = silent;
}

void FakeSerialPort::set_accepts_configure(bool accepts) {
    std::lock_guard lock(mutex_);
    accepts_configure_ = accepts;
}

void FakeSerialPort::set_broken(bool broken) {
    std::lock_guard lock(mutex_);
    broken_ = broken;
}

bool FakeSerialPort::broken() const {
    std::lock_guard lock(mutex_);
    return broken_;
}

bool FakeSerialPort::configure(std::uint32_t baud) {
    std::lock_guard lock(mutex_);
    configured_.push_back(baud);
    return accepts_configure_ && baud != 0;
}

// The answer to `bytes`, if some row takes the write; a used script row is dropped. Called with the
// lock held.
std::optional<ModemReply> FakeSerialPort::answer_to(std::string_view bytes) {
    if (!script_.empty() && bytes.starts_with(script_.front().command)) {
        ModemReply row = std::move(script_.front());
        script_.pop_front();
        return row;
    }
    auto row = std::find_if(standing_.begin(), standing_.end(),
                            [&](const ModemReply& r) { return bytes.starts_with(r.command); });
    if (row == standing_.end()) {
        return std::nullopt;
    }
    return *row;
}

std::size_t FakeSerialPort::write(std::string_view bytes) {
    long long at = clock_ ? clock_->elapsed_ms() : 0;
    std::lock_guard lock(mutex_);
    if (broken_) {
        return 0;
    }
    writes_.push_back({std::string(bytes), at});
    std::optional<ModemReply> row = answer_to(bytes);
    if (!row) {
        unmatched_.emplace_back(bytes);
    } else if (silent_) {
        // a dead modem takes the write and says nothing
    } else if (row->delay_ms > 0 && clock_) {
        timed_.push_back({at + row->delay_ms, row->answer});
    } else {
        input_ += row->answer;
    }
    return bytes.size();
}

std::size_t FakeSerialPort::read(char* buffer, std::size_t count) {
    std::size_t n;
    {
        std::lock_guard lock(mutex_);
        ++reads_;
        if (broken_) {
            return 0; // a hung-up line answers at once with nothing
        }
        take_due_input(now_ms());
        n = take_input(buffer, count);
        if (n < count) {
            read_waits_.push_back(read_timeout_ms(count));
        }
    }
    // Outside the lock: the clock may be shared with a test thread that inspects this port.
    if (n < count && clock_) {
        clock_->sleep_ms(read_timeout_ms(count));
        // What arrived during the wait is read too, as a real read collects it.
        std::lock_guard lock(mutex_);
        take_due_input(now_ms());
        n += take_input(buffer + n, count - n);
    }
    return n;
}

std::size_t FakeSerialPort::read_some(char* buffer, std::size_t count, int timeout_ms) {
    long long wait = 0;
    {
        std::lock_guard lock(mutex_);
        ++reads_;
        if (broken_) {
            return 0;
        }
        long long now = now_ms();
        take_due_input(now);
        if (!input_.empty()) {
            return take_input(buffer, count);
        }
        std::optional<long long> next = next_due();
        wait = next && *next - now <= timeout_ms ? *next - now : timeout_ms;
    }
    if (clock_ && wait > 0) {
        clock_->sleep_ms(static_cast<int>(wait));
    }
    std::lock_guard lock(mutex_);
    take_due_input(now_ms());
    return take_input(buffer, count);
}

void FakeSerialPort::prepare() {
    std::lock_guard lock(mutex_);
    ++prepares_;
    input_.clear();
}

void FakeSerialPort::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
}

std::string FakeSerialPort::written() const {
    std::lock_guard lock(mutex_);
    std::string all;
    for (const PortWrite& w : writes_) {
        all += w.bytes;
    }
    return all;
}

std::vector<PortWrite> FakeSerialPort::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

std::vector<std::string> FakeSerialPort::unmatched() const {
    std::lock_guard lock(mutex_);
    return unmatched_;
}

std::size_t FakeSerialPort::script_left() const {
    std::lock_guard lock(mutex_);
    return script_.size();
}

std::size_t FakeSerialPort::queued() const {
    std::lock_guard lock(mutex_);
    return input_.size();
}

std::vector<int> FakeSerialPort::read_waits() const {
    std::lock_guard lock(mutex_);
    return read_waits_;
}

int FakeSerialPort::reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
}

int FakeSerialPort::prepares() const {
    std::lock_guard lock(mutex_);
    return prepares_;
}

std::vector<std::uint32_t> FakeSerialPort::configured() const {
    std::lock_guard lock(mutex_);
    return configured_;
}

bool FakeSerialPort::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}
