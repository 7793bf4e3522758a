#include "service/syslog_sender.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "service/audit_line.h"
#include "service/syslog_stream_queue.h"

namespace tarvelin {

namespace {
constexpr int kPri = 10 * 8 + 5;  // facility security/authorization, severity notice
constexpr const char* kUdpPort = "514";
constexpr const char* kTlsPort = "6514";  // RFC 5425

// "HOST" or "HOST:PORT"; false when either part is empty.
bool SplitHostPort(const std::string& hostAndPort, const char* defaultPort, std::string& host, std::string& port) {
  host = hostAndPort;
  port = defaultPort;
  if (const auto colon = hostAndPort.rfind(':'); colon != std::string::npos) {
    host = hostAndPort.substr(0, colon);
    port = hostAndPort.substr(colon + 1);
  }
  return !host.empty() && !port.empty();
}

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
  std::string host, port;
  if (!SplitHostPort(hostAndPort, kUdpPort, host, port)) {
    error = "udp:" + hostAndPort + ": no host or port";
    return -1;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
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

std::unique_ptr<SyslogStreamQueue> OpenTls(const std::string& hostAndPort, std::string& error) {
  std::string host, port;
  if (!SplitHostPort(hostAndPort, kTlsPort, host, port)) {
    error = "tls:" + hostAndPort + ": no host or port";
    return nullptr;
  }
  if (!SyslogTlsFactory()) {
    error = "tls:" + hostAndPort + ": this program cannot send over TLS";
    return nullptr;
  }
  std::unique_ptr<SyslogStream> stream = SyslogTlsFactory()(error);
  if (!stream) return nullptr;
  return std::make_unique<SyslogStreamQueue>(std::move(stream), "tls:" + hostAndPort, host, port);
}
}  // namespace

SyslogSender::SyslogSender() = default;
SyslogSender::~SyslogSender() { Close(); }

bool SyslogSender::Open(const std::string& target, std::string& error) {
  Close();
  if (target.empty()) return true;
  if (target == "local")
    fd_ = OpenLocal(error);
  else if (target.rfind("udp:", 0) == 0)
    fd_ = OpenUdp(target.substr(4), error);
  else if (target.rfind("tls:", 0) == 0)
    stream_ = OpenTls(target.substr(4), error);
  else
    error = target + ": not \"local\", \"udp:HOST[:PORT]\" or \"tls:HOST[:PORT]\"";
  char name[256] = "";
  ::gethostname(name, sizeof name - 1);
  host_ = name;
  return IsOpen();
}

void SyslogSender::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  stream_.reset();
}

void SyslogSender::Send(const std::string& msgId, const std::string& message, Clock::time_point at) const {
  if (!IsOpen()) return;
  const std::string datagram = Rfc5424Message(host_, static_cast<int>(::getpid()), msgId, message, at);
  if (stream_) {
    stream_->Push(datagram);
    return;
  }
  // One datagram per message; a collector that is away loses it, as UDP does.
  (void)::send(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

std::string Rfc5424Message(const std::string& hostName, int processId, const std::string& msgId,
                           const std::string& message, Clock::time_point at) {
  // HEADER SP STRUCTURED-DATA SP MSG; no structured data ("-"), the MSG is
  // UTF-8 and says so with the BOM.
  // Appended piece by piece: one long chain of + makes GCC's -Wrestrict
  // misfire in optimised builds.
  std::string text = "<";
  text += std::to_string(kPri);
  text += ">1 ";
  text += Rfc3339Time(at);
  text += ' ';
  text += HeaderField(hostName, 255);
  text += " tarvelin ";
  text += std::to_string(processId);
  text += ' ';
  text += HeaderField(msgId, 32);
  text += " - \xEF\xBB\xBF";
  text += message;
  return text;
}

}  // namespace tarvelin
