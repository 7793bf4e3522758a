#include "net/tls_context.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace tarvelin {

namespace {

// TLS 1.2 suites with ephemeral elliptic-curve key exchange and AEAD
// ciphers: no static RSA key exchange (no forward secrecy), no CBC. TLS 1.3
// suites are all of that kind and keep OpenSSL's list.
constexpr const char* Tls12Suites =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
    "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
    "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";

// OpenSSL's reason for the last failure, or `fallback`.
std::string LastReason(const std::string& fallback) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return fallback;
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

bool Fail(std::string& error, const std::string& what) {
  error = what + ": " + LastReason("unknown reason");
  return false;
}

bool LoadOwnCertificate(SSL_CTX* context, const TlsFiles& files, std::string& error) {
  if (SSL_CTX_use_certificate_chain_file(context, files.Certificate.c_str()) != 1)
    return Fail(error, "certificate " + files.Certificate + " cannot be used");
  if (SSL_CTX_use_PrivateKey_file(context, files.Key.c_str(), SSL_FILETYPE_PEM) != 1)
    return Fail(error, "private key " + files.Key + " cannot be used");
  if (SSL_CTX_check_private_key(context) != 1)
    return Fail(error, "private key " + files.Key + " does not belong to certificate " + files.Certificate);
  return true;
}

bool Configure(SSL_CTX* context, TlsContext::Side side, const TlsFiles& files, std::string& error) {
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  // Renegotiation and compression have carried attacks of their own; the
  // server's order of suites wins.
  SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION | SSL_OP_CIPHER_SERVER_PREFERENCE);
  if (SSL_CTX_set_cipher_list(context, Tls12Suites) != 1) return Fail(error, "cipher suites refused");
  // Writes may be retried from another buffer position after a wait.
  SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);

  const bool acceptor = side == TlsContext::Side::Acceptor;
  if (acceptor && (files.Certificate.empty() || files.Key.empty())) {
    error = "a certificate and its private key are needed";
    return false;
  }
  if (files.Certificate.empty() != files.Key.empty()) {
    error = "a certificate needs its private key and a key its certificate";
    return false;
  }
  if (!files.Certificate.empty() && !LoadOwnCertificate(context, files, error)) return false;

  if (!files.Authorities.empty()) {
    if (SSL_CTX_load_verify_locations(context, files.Authorities.c_str(), nullptr) != 1)
      return Fail(error, "certificate authorities " + files.Authorities + " cannot be read");
    if (acceptor) {
      // Clients are told which authorities we accept.
      STACK_OF(X509_NAME)* names = SSL_load_client_CA_file(files.Authorities.c_str());
      if (names) SSL_CTX_set_client_CA_list(context, names);
    }
  } else if (!acceptor && SSL_CTX_set_default_verify_paths(context) != 1) {
    return Fail(error, "the system's certificate authorities cannot be read");
  }
  // A requestor always checks the peer; an acceptor when it has authorities.
  if (!acceptor || !files.Authorities.empty())
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
  return true;
}

}  // namespace

std::unique_ptr<TlsContext> TlsContext::Create(Side side, const TlsFiles& files, std::string& error) {
  ERR_clear_error();
  SSL_CTX* handle = SSL_CTX_new(side == Side::Acceptor ? TLS_server_method() : TLS_client_method());
  if (!handle) {
    Fail(error, "no TLS context");
    return nullptr;
  }
  if (!Configure(handle, side, files, error)) {
    SSL_CTX_free(handle);
    return nullptr;
  }
  const bool verifiesPeer = side == Side::Requestor || !files.Authorities.empty();
  return std::unique_ptr<TlsContext>(new TlsContext(side, handle, verifiesPeer));
}

TlsContext::~TlsContext() { SSL_CTX_free(handle_); }

}  // namespace tarvelin
