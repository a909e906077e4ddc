#pragma once

#include <boost/asio/ssl/context.hpp>

#include <memory>
#include <string>

// The TLS set-up of HTTPS from a PEM certificate (chain) and its private key: TLS 1.2 and later. nullptr
// after a message on standard error when either file cannot be read or they do not belong together.
std::unique_ptr<boost::asio::ssl::context> make_tls_context(const std::string& cert_file, const std::string& key_file);
