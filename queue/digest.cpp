#include "queue/digest.h"

#include <openssl/evp.h>

#include <array>

std::optional<std::string> sha256_hex(std::string_view bytes) {
    std::array<unsigned char, 32> hash{};
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), hash.data(), &size, EVP_sha256(), nullptr) != 1 || size != hash.size()) {
        return std::nullopt;
    }
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * hash.size());
    for (unsigned char byte : hash) {
        hex += digits[byte >> 4];
        hex += digits[byte & 0x0f];
    }
    return hex;
}
