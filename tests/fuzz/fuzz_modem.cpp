#include "fuzz_modem.h"

#include <algorithm>
#include <cstring>

std::size_t ListingModem::write(std::string_view bytes) {
    if (bytes.starts_with("at+cmgl=")) {
        ++listings_;
        input_ += listing_answer_;
    } else if (bytes.starts_with("at+cmgd=")) {
        deletes_.push_back({std::string(bytes), stored_()});
        input_ += "\r\nOK\r\n";
    } else if (bytes == "at\r\n") {
        input_ += "at\r\r\nOK\r\n";
    } else if (bytes.starts_with("AT+CMGF=0")) {
        input_ += "AT+CMGF=0\r\r\nOK\r\n";
    }
    return bytes.size();
}

std::size_t ListingModem::read(char* buffer, std::size_t count) {
    std::size_t n = std::min(count, input_.size());
    std::memcpy(buffer, input_.data(), n);
    input_.erase(0, n);
    return n;
}
