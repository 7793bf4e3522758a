#include "net/tls_session.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <climits>

#include "platform/quiet_broken_pipe.h"

namespace tarvelin {

namespace {
int Clamp(std::size_t count) { return count > INT_MAX ? INT_MAX : static_cast<int>(count); }
}  // namespace

TlsSession::TlsSession(const TlsContext& context, int fd) : ssl_(SSL_new(context.Handle())) {
  if (!ssl_) return;
  SSL_set_fd(ssl_, fd);
  if (context.GetSide() == TlsContext::Side::Acceptor)
    SSL_set_accept_state(ssl_);
  else
    SSL_set_connect_state(ssl_);
}

TlsSession::~TlsSession() { SSL_free(ssl_); }

TlsSession::Progress TlsSession::Outcome(int result) {
  const int code = SSL_get_error(ssl_, result);
  switch (code) {
    case SSL_ERROR_NONE:
      return Progress::Done;
    case SSL_ERROR_WANT_READ:
      return Progress::WantRead;
    case SSL_ERROR_WANT_WRITE:
      return Progress::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
      failure_ = "closed by the peer";
      return Progress::Closed;
    default:
      break;
  }
  const long verified = SSL_get_verify_result(ssl_);
  const unsigned long reason = ERR_peek_error();
  if (verified != X509_V_OK) {
    failure_ = std::string("certificate refused: ") + X509_verify_cert_error_string(verified);
  } else if (reason != 0) {
    char text[256];
    ERR_error_string_n(reason, text, sizeof text);
    failure_ = text;
  } else {
    failure_ = code == SSL_ERROR_SYSCALL ? "connection closed by the peer" : "TLS error " + std::to_string(code);
  }
  ERR_clear_error();
  return code == SSL_ERROR_SYSCALL && reason == 0 ? Progress::Closed : Progress::Failed;
}

void TlsSession::ExpectPeer(const std::string& host) {
  if (!ssl_ || host.empty()) return;
  X509_VERIFY_PARAM* check = SSL_get0_param(ssl_);
  // A dotted address is matched against the certificate's IP addresses,
  // a name against its DNS names.
  if (X509_VERIFY_PARAM_set1_ip_asc(check, host.c_str()) == 1) return;
  SSL_set_tlsext_host_name(ssl_, host.c_str());
  SSL_set1_host(ssl_, host.c_str());
}

TlsSession::Progress TlsSession::Handshake() {
  if (!ssl_) {
    failure_ = "no TLS session";
    return Progress::Failed;
  }
  ERR_clear_error();
  const QuietBrokenPipe quiet;  // the handshake writes, and so may read and shutdown
  return Outcome(SSL_do_handshake(ssl_));
}

TlsSession::Progress TlsSession::Moved(int result, std::size_t& moved) {
  moved = result > 0 ? static_cast<std::size_t>(result) : 0;
  return result > 0 ? Progress::Done : Outcome(result);
}

TlsSession::Progress TlsSession::Read(void* buffer, std::size_t size, std::size_t& moved) {
  ERR_clear_error();
  const QuietBrokenPipe quiet;
  return Moved(SSL_read(ssl_, buffer, Clamp(size)), moved);
}

TlsSession::Progress TlsSession::Write(const void* bytes, std::size_t count, std::size_t& moved) {
  ERR_clear_error();
  const QuietBrokenPipe quiet;
  return Moved(SSL_write(ssl_, bytes, Clamp(count)), moved);
}

bool TlsSession::Pending() const { return ssl_ && SSL_has_pending(ssl_) == 1; }

void TlsSession::Shutdown() {
  if (!ssl_) return;
  ERR_clear_error();
  const QuietBrokenPipe quiet;
  SSL_shutdown(ssl_);
  ERR_clear_error();
}

std::string TlsSession::Summary() const {
  if (!ssl_) return "";
  return std::string(SSL_get_version(ssl_)) + " " + SSL_get_cipher_name(ssl_);
}

std::string TlsSession::PeerSubject() const {
  X509* certificate = ssl_ ? SSL_get1_peer_certificate(ssl_) : nullptr;
  if (!certificate) return "";
  char text[256];
  X509_NAME_oneline(X509_get_subject_name(certificate), text, sizeof text);
  X509_free(certificate);
  return text;
}

}  // namespace tarvelin
