#include "webhooks/webhook_signature.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdio>

std::string webhook_signature(const std::string& secret, long long unix_seconds, const std::string& body) {
    std::string signed_text = std::to_string(unix_seconds) + "." + body;
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), secret.data(), static_cast<int>(secret.size()),
         reinterpret_cast<const unsigned char*>(signed_text.data()), signed_text.size(), mac, &length);
    std::string hex;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", mac[i]);
        hex += pair;
    }
    return "t=" + std::to_string(unix_seconds) + ",v1=" + hex;
}
