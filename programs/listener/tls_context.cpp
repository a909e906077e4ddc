#include "tls_context.h"

#include <openssl/ssl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <sys/stat.h>
#include <unistd.h>

namespace ssl = boost::asio::ssl;

namespace {

bool readable_file(const std::string& path, const char* what) {
    struct stat info {};
    errno = 0;
    if (::access(path.c_str(), R_OK) != 0 || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fprintf(stderr, "vmsms-listener: cannot read the %s %s: %s\n", what, path.c_str(),
                     errno ? std::strerror(errno) : "not a file");
        return false;
    }
    return true;
}

bool load_pair(ssl::context& context, const std::string& cert_file, const std::string& key_file) {
    boost::system::error_code ec;
    context.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                            ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 | ssl::context::single_dh_use,
                        ec);
    if (ec) {
        return false;
    }
    context.use_certificate_chain_file(cert_file, ec);
    if (ec) {
        return false;
    }
    context.use_private_key_file(key_file, ssl::context::pem, ec);
    return !ec && SSL_CTX_check_private_key(context.native_handle()) == 1;
}

} // namespace

std::unique_ptr<ssl::context> make_tls_context(const std::string& cert_file, const std::string& key_file) {
    if (!readable_file(cert_file, "certificate") || !readable_file(key_file, "key")) {
        return nullptr;
    }
    std::unique_ptr<ssl::context> context;
    try {
        context = std::make_unique<ssl::context>(ssl::context::tls_server);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vmsms-listener: cannot set up TLS: %s\n", error.what());
        return nullptr;
    }
    if (!load_pair(*context, cert_file, key_file)) {
        std::fprintf(stderr, "vmsms-listener: %s and %s are no PEM certificate and matching private key\n",
                     cert_file.c_str(), key_file.c_str());
        return nullptr;
    }
    return context;
}
