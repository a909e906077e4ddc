#include "modem/serial_link.h"

#include "platform/termios_serial_port.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

std::string_view trim_line(std::string_view line) {
    constexpr std::string_view blanks = " \t";
    std::size_t first = line.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    std::size_t last = line.find_last_not_of(blanks);
    return line.substr(first, last - first + 1);
}

bool is_error_result(std::string_view line) {
    return line == "ERROR" || line.starts_with("+CMS ERROR") || line.starts_with("+CME ERROR");
}

// Calls `visit` with every line of `text`, split at CR and LF and trimmed of blanks.
template <typename Visit> void for_each_line(std::string_view text, Visit visit) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        visit(trim_line(text.substr(start, end - start)));
        start = end + 1;
    }
}

} // namespace

std::unique_ptr<SerialPort> port_open(const std::string& device_path) {
    return TermiosSerialPort::open(device_path);
}

bool port_configure(SerialPort& port, std::uint32_t baud) {
    return port.configure(baud);
}

void port_prepare(SerialPort& port) {
    port.prepare();
}

void port_write(SerialPort& port, std::string_view text) {
    port.write(text);
}

std::string port_read_chunk(SerialPort& port) {
    std::array<char, chunk_size> chunk{};
    port.read(chunk.data(), chunk.size());
    return std::string(chunk.data(), ::strnlen(chunk.data(), chunk.size()));
}

std::string port_collect(SerialPort& port, std::size_t capacity) {
    std::string accumulator;
    std::string chunk;
    do {
        chunk = port_read_chunk(port);
        std::size_t room = capacity - accumulator.size();
        accumulator.append(chunk, 0, std::min(room, chunk.size()));
    } while (chunk.size() == chunk_size);
    return accumulator;
}

bool reply_has_ok(std::string_view text) {
    return text.find("OK") != std::string_view::npos;
}

bool reply_says_sent(std::string_view text) {
    bool ok = false;
    bool error = false;
    for_each_line(text, [&](std::string_view line) {
        ok = ok || line == "OK";
        error = error || is_error_result(line);
    });
    return ok && !error;
}

bool reply_is_intelligible(std::string_view text) {
    // A modem answers in printable ASCII lines (and may echo the Ctrl-Z that ends a PDU); anything else
    // is noise on the line, whatever words it happens to hold.
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\r' && c != '\n' && c != '\x1a') || u >= 0x7f) {
            return false;
        }
    }
    bool known = false;
    for_each_line(text, [&](std::string_view line) {
        bool echo = line.size() >= 2 && (line[0] == 'a' || line[0] == 'A') && (line[1] == 't' || line[1] == 'T');
        known = known || line == "OK" || is_error_result(line) || line.starts_with("+CMGS:") || line.starts_with(">") ||
                echo;
    });
    return known;
}

void port_close(SerialPort& port) {
    port.close();
}
