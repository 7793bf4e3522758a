#include "support/tls_syslog_collector.h"

#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>

#include "support/free_port.h"

namespace tarvelin {

TlsSyslogCollector::TlsSyslogCollector(const std::string& certificate, const std::string& key,
                                       const std::string& clientAuthority) {
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  SSL_CTX_use_certificate_chain_file(context, certificate.c_str());
  SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM);
  SSL_CTX_load_verify_locations(context, clientAuthority.c_str(), nullptr);
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
  context_ = context;
  listener_ = ListenLoopback(port_);
  server_ = std::thread([this] { Serve(); });
}

TlsSyslogCollector::~TlsSyslogCollector() {
  {
    std::lock_guard<std::mutex> hold(busy_);
    stopping_ = true;
  }
  server_.join();
  close(listener_);
  SSL_CTX_free(static_cast<SSL_CTX*>(context_));
}

void TlsSyslogCollector::Serve() {
  const auto stopping = [this] {
    std::lock_guard<std::mutex> hold(busy_);
    return stopping_;
  };
  while (!stopping()) {
    pollfd waiting{listener_, POLLIN, 0};
    if (poll(&waiting, 1, 100) != 1) continue;
    const int fd = accept(listener_, nullptr, nullptr);
    if (fd < 0) continue;
    // Reads give up every 100 ms so that stopping is noticed.
    timeval tick{0, 100000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(context_));
    SSL_set_fd(ssl, fd);
    int handshake;
    while ((handshake = SSL_accept(ssl)) != 1 && SSL_get_error(ssl, handshake) == SSL_ERROR_WANT_READ && !stopping()) {
    }
    char buffer[4096];
    while (handshake == 1 && !stopping()) {
      const int got = SSL_read(ssl, buffer, sizeof buffer);
      if (got > 0) {
        std::lock_guard<std::mutex> hold(busy_);
        received_.append(buffer, static_cast<std::size_t>(got));
        arrived_.notify_all();
      } else if (SSL_get_error(ssl, got) != SSL_ERROR_WANT_READ) {
        break;
      }
    }
    SSL_free(ssl);
    close(fd);
  }
}

std::string TlsSyslogCollector::Receive(int seconds) {
  std::unique_lock<std::mutex> hold(busy_);
  std::size_t space = std::string::npos, length = 0;
  const auto complete = [&] {
    space = received_.find(' ');
    if (space == std::string::npos) return false;
    for (std::size_t i = 0; i < space; ++i)
      if (!std::isdigit(static_cast<unsigned char>(received_[i]))) return true;  // reported below
    length = space == 0 ? 0 : std::stoul(received_.substr(0, space));
    return received_.size() >= space + 1 + length;
  };
  if (!arrived_.wait_for(hold, std::chrono::seconds(seconds), complete)) return "";
  const std::string count = received_.substr(0, space);
  if (count.empty() || count[0] == '0' || count.find_first_not_of("0123456789") != std::string::npos)
    return "bad frame: " + received_.substr(0, 40);
  std::string message = received_.substr(space + 1, length);
  received_.erase(0, space + 1 + length);
  return message;
}

}  // namespace tarvelin
