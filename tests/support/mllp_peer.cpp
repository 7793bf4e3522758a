#include "support/mllp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string_view>

namespace tarvelin {

namespace {
using SteadyClock = std::chrono::steady_clock;
}  // namespace

std::string Framed(const std::string& message) { return "\x0b" + message + "\x1c\x0d"; }

std::string NewOrderMessage(const std::string& controlId, const std::string& accession, const std::string& date) {
  return "MSH|^~\\&|RIS|HOSP|TARVELIN|RAD|20240305143015||ORM^O01|" + controlId + "|P|2.3.1\rPID|||" + accession +
         "||DOE^JOHN||19700102|M\rORC|NW||||||" + (date.empty() ? "" : "^^^" + date + "0900") +
         "\rOBR|1|||CT^CT Head||||||||||||||" + accession + "||||||CT\r";
}

std::string MsaSegment(const std::string& ack) {
  auto start = ack.find("\rMSA|");
  if (start == std::string::npos) return "";
  auto end = ack.find('\r', start + 1);
  return ack.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
}

MllpPeer::MllpPeer(int port) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

MllpPeer::~MllpPeer() {
  if (fd_ >= 0) close(fd_);
}

bool MllpPeer::Send(const std::string& bytes) {
  std::string_view rest = bytes;
  while (!rest.empty()) {
    ssize_t n = send(fd_, rest.data(), rest.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    rest.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::optional<std::string> MllpPeer::ReadAck(int timeoutMs) {
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto start = pending_.find('\x0b');
    auto end = pending_.find("\x1c\x0d");
    if (start != std::string::npos && end != std::string::npos && end > start) {
      std::string ack = pending_.substr(start + 1, end - start - 1);
      pending_.erase(0, end + 2);
      return ack;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
    char buffer[4096];
    ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return std::nullopt;
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

bool MllpPeer::ClosedByServer(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  char byte;
  return recv(fd_, &byte, 1, 0) == 0;
}

}  // namespace tarvelin
