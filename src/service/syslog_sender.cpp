#include "service/syslog_sender.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "service/audit_line.h"

namespace tarvelin {

namespace {
constexpr int kPri = 10 * 8 + 5;  // facility security/authorization, severity notice
constexpr const char* kDefaultPort = "514";

// RFC 5424's PRINTUSASCII fields: a name with other bytes would break the header.
std::string HeaderField(const std::string& text, std::size_t limit) {
  std::string field;
  for (char c : text)
    if (c >= 33 && c <= 126 && field.size() < limit) field += c;
  return field.empty() ? "-" : field;
}

int OpenLocal(std::string& error) {
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, "/dev/log");
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  error = std::string("/dev/log: ") + std::strerror(errno);
  if (fd >= 0) ::close(fd);
  return -1;
}

int OpenUdp(const std::string& hostAndPort, std::string& error) {
  std::string host = hostAndPort, port = kDefaultPort;
  if (const auto colon = hostAndPort.rfind(':'); colon != std::string::npos) {
    host = hostAndPort.substr(0, colon);
    port = hostAndPort.substr(colon + 1);
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (host.empty() || port.empty()) {
    error = "udp:" + hostAndPort + ": no host or port";
    return -1;
  }
  if (const int failed = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); failed != 0) {
    error = "udp:" + hostAndPort + ": " + ::gai_strerror(failed);
    return -1;
  }
  int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
  if (fd >= 0 && ::connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) error = "udp:" + hostAndPort + ": " + std::strerror(errno);
  ::freeaddrinfo(found);
  return fd;
}
}  // namespace

SyslogSender::~SyslogSender() { Close(); }

bool SyslogSender::Open(const std::string& target, std::string& error) {
  Close();
  if (target.empty()) return true;
  if (target == "local")
    fd_ = OpenLocal(error);
  else if (target.rfind("udp:", 0) == 0)
    fd_ = OpenUdp(target.substr(4), error);
  else
    error = target + ": not \"local\" or \"udp:HOST[:PORT]\"";
  char name[256] = "";
  ::gethostname(name, sizeof name - 1);
  host_ = name;
  return fd_ >= 0;
}

void SyslogSender::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void SyslogSender::Send(const std::string& msgId, const std::string& message, Clock::time_point at) const {
  if (fd_ < 0) return;
  const std::string datagram = Rfc5424Message(host_, static_cast<int>(::getpid()), msgId, message, at);
  // One datagram per message; a collector that is away loses it, as UDP does.
  (void)::send(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

std::string Rfc5424Message(const std::string& hostName, int processId, const std::string& msgId,
                           const std::string& message, Clock::time_point at) {
  // HEADER SP STRUCTURED-DATA SP MSG; no structured data ("-"), the MSG is
  // UTF-8 and says so with the BOM.
  return "<" + std::to_string(kPri) + ">1 " + Rfc3339Time(at) + " " + HeaderField(hostName, 255) + " tarvelin " +
         std::to_string(processId) + " " + HeaderField(msgId, 32) + " - \xEF\xBB\xBF" + message;
}

}  // namespace tarvelin
