#include "store/pool_progress.h"

#include "platform/text_file.h"

#include <charconv>
#include <sstream>
#include <vector>

namespace {

// A pool of eight modems leaves few positions beyond a prefix; this bounds a damaged file.
constexpr std::size_t most_progress_bytes = 4 * 1024 * 1024;

std::vector<long> numbers_of(const std::string& line) {
    std::vector<long> numbers;
    const char* at = line.data();
    const char* end = line.data() + line.size();
    while (at < end) {
        while (at < end && *at == ' ') {
            ++at;
        }
        if (at == end) {
            break;
        }
        long value = 0;
        auto [next, error] = std::from_chars(at, end, value);
        if (error != std::errc() || value < 0) {
            return {};
        }
        numbers.push_back(value);
        at = next;
    }
    return numbers;
}

} // namespace

std::string pool_progress_path(const std::string& day) {
    return day + "/send/pool";
}

PoolProgress read_pool_progress(const std::string& day) {
    PoolProgress progress;
    BoundedRead file = read_file_bounded(pool_progress_path(day), most_progress_bytes);
    if (file.status != BoundedRead::Status::Read) {
        return progress;
    }
    std::istringstream in(file.bytes);
    for (std::string line; std::getline(in, line);) {
        std::vector<long> numbers = numbers_of(line);
        if (numbers.size() < 2 || numbers[0] < 1) {
            continue;
        }
        RecordProgress& record = progress[numbers[0]];
        record.prefix = std::max(record.prefix, numbers[1]);
        record.beyond.insert(numbers.begin() + 2, numbers.end());
    }
    return progress;
}

bool write_pool_progress(const std::string& day, const PoolProgress& progress) {
    std::string text;
    for (const auto& [record, done] : progress) {
        text += std::to_string(record) + " " + std::to_string(done.prefix);
        for (long position : done.beyond) {
            text += " " + std::to_string(position);
        }
        text += "\n";
    }
    return replace_file_atomically(pool_progress_path(day), text);
}
