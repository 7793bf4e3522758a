#include "net/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "net/tls_context.h"
#include "net/tls_session.h"
#include "platform/orderly_close.h"
#include "service/log.h"

namespace tarvelin {

namespace {

std::atomic<int> liveSockets{0};

// Decimal value of the text as the port rule reads it: leading blanks, an
// optional sign, then digits up to the first non-digit.
long LeadingNumber(const std::string& text) {
  return std::strtol(text.c_str(), nullptr, 10);
}

// Port in network order, or 0 when neither a number nor a known service.
std::uint16_t ResolvePort(const std::string& text) {
  auto port = static_cast<std::uint16_t>(LeadingNumber(text) & 0xFFFF);
  if (port != 0) return htons(port);
  servent entry{};
  servent* found = nullptr;
  char scratch[1024];
  if (getservbyname_r(text.c_str(), nullptr, &entry, scratch, sizeof scratch, &found) == 0 &&
      found != nullptr)
    return static_cast<std::uint16_t>(found->s_port);
  return 0;
}

// IPv4 address (network order) of a dotted address or host name.
bool ResolveHost(const std::string& host, in_addr& address) {
  if (LeadingNumber(host) != 0 && inet_pton(AF_INET, host.c_str(), &address) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) return false;
  address = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr;
  freeaddrinfo(result);
  return true;
}

// Closing resets the connection at once instead of lingering.
void SetLingerOff(int fd) {
  linger value{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &value, sizeof value);
}

bool SetNoDelay(int fd) {
  int on = 1;
  return setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

// Acknowledge received data at once. Peers that keep Nagle's algorithm on
// (Debian's findscu does) hold a request's data set PDU until its command
// PDU is acknowledged, so a delayed ACK costs ~40 ms per request. Linux
// leaves quick-ack mode again by itself (as soon as we answer), so this is
// re-armed after every read; arming it also sends an ACK that is pending.
void SetQuickAck(int fd) {
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

// A TCP stream socket that resets on close, or NoHandle (logged).
int NewStreamSocket() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    WriteLog("ERROR, could not create socket");
    return Socket::NoHandle;
  }
  SetLingerOff(fd);
  return fd;
}

sockaddr_in IPv4Address(std::uint16_t netPort, in_addr address) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = netPort;
  result.sin_addr = address;
  return result;
}

void CloseHandle(int& fd) {
  if (fd != Socket::NoHandle) ::close(fd);
  fd = Socket::NoHandle;
}

// A peer that silently drops our SYN (a PACS behind a firewall, a host that
// is off) would otherwise hold the caller in connect for about two minutes
// of kernel retries, and the housekeeping pass asks once per entry. The
// connect waits at most `seconds` (none when 0); 0 or the platform error.
int ConnectWithin(int fd, const sockaddr_in& address, int seconds) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (seconds > 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  int error = result == 0 ? 0 : errno;
  if (error == EINPROGRESS || error == EINTR) {
    pollfd waiting{fd, POLLOUT, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int ready;
    do {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      const int waitMs = seconds > 0 ? static_cast<int>(std::max<long long>(0, left.count())) : -1;
      ready = ::poll(&waiting, 1, waitMs);
    } while (ready < 0 && errno == EINTR);
    socklen_t size = sizeof error;
    if (ready == 0) {
      error = ETIMEDOUT;
    } else if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
      error = errno;
    }
  }
  ::fcntl(fd, F_SETFL, flags);
  return error;
}

}  // namespace

Socket::Socket() { ++liveSockets; }

Socket::~Socket() {
  tls_.reset();
  for (int* fd : {&Socketfd, &ListenSocketfd}) {
    if (*fd == NoHandle) continue;
    ::shutdown(*fd, SHUT_RDWR);
    CloseHandle(*fd);
  }
  --liveSockets;
}

int Socket::LiveCount() { return liveSockets.load(); }

int Socket::GetLastError() { return errno; }

bool Socket::Listen(const std::string& port) {
  Listened = false;
  Connected = false;
  CloseHandle(Socketfd);
  std::uint16_t netPort = ResolvePort(port);
  if (netPort == 0) {
    WriteLog("ERROR, could not resolve port");
    return false;
  }
  int fd = NewStreamSocket();
  if (fd == NoHandle) return false;
  Address = IPv4Address(netPort, in_addr{htonl(INADDR_ANY)});
  // A restarted service must bind again while associations it closed are in
  // TIME_WAIT (up to a minute); a port another program listens on is still
  // refused.
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0) {
    LastError = errno;
    ::close(fd);
    WriteLog("ERROR, could not bind socket");
    return false;
  }
  // A queue of 10 (the original design's) resets connections when a burst of
  // modalities connects at once, before the accept loop can take them.
  if (::listen(fd, SOMAXCONN) != 0) {
    ::close(fd);
    WriteLog("ERROR, listening to socket");
    return false;
  }
  CloseHandle(ListenSocketfd);
  ListenSocketfd = fd;
  Listened = true;
  return true;
}

bool Socket::Accept() {
  if (!Listened) {
    WriteLog("ERROR Socket:Accept not Listened");
    return false;
  }
  if (ListenSocketfd == NoHandle) {
    WriteLog("ERROR Socket:Accept not ListenedSocketfd");
    return false;
  }
  socklen_t size = sizeof Address;
  int fd;
  do {
    fd = ::accept4(ListenSocketfd, reinterpret_cast<sockaddr*>(&Address), &size, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) {
    CloseHandle(Socketfd);
    // Responses go out as several small sends; without this each waits for
    // the peer's delayed acknowledgement.
    SetNoDelay(fd);
    SetQuickAck(fd);
    Socketfd = fd;
    Connected = true;
    return true;
  }
  CloseHandle(ListenSocketfd);
  CloseHandle(Socketfd);
  Listened = false;
  Connected = false;
  WriteLog("ERROR Socket:Accept not Socketfd");
  return false;
}

bool Socket::Connect(const std::string& host, const std::string& port) {
  CloseHandle(Socketfd);
  Connected = false;
  connectedHost_ = host;
  in_addr address{};
  if (!ResolveHost(host, address)) {
    WriteLog("ERROR, could not resolve host name");
    return false;
  }
  NumericAddress = address.s_addr;
  std::uint16_t netPort = ResolvePort(port);
  if (netPort == 0) {
    WriteLog("ERROR, could not resolve host port");
    return false;
  }
  int fd = NewStreamSocket();
  if (fd == NoHandle) return false;
  if (!SetNoDelay(fd)) {
    ::close(fd);
    WriteLog("ERROR, set socket option");
    return false;
  }
  Address = IPv4Address(netPort, address);
  LastError = ConnectWithin(fd, Address, TimeOut);
  if (LastError == 0) {
    SetQuickAck(fd);
    Socketfd = fd;
    Connected = true;
    return true;
  }
  ::close(fd);
  WriteLog("ERROR, Connecting to Socket: " + host + ":" + port + ", " + std::to_string(LastError));
  return false;
}

bool Socket::SendBinary(const void* bytes, std::size_t count) {
  if (!Connected) return false;
  auto* next = static_cast<const std::uint8_t*>(bytes);
  if (tls_) return SendSecure(next, count);
  while (count > 0) {
    // Sent at once when the socket buffer has room, which is the usual case:
    // the wait below is only for a full buffer.
    const ssize_t sent = ::send(Socketfd, next, count, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      next += sent;
      count -= static_cast<std::size_t>(sent);
      continue;
    }
    int error = sent < 0 ? errno : EPIPE;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) {
      // A peer that stops reading must not hold the thread for ever.
      const int ready = WaitReady(POLLOUT, false);
      if (ready > 0) continue;
      error = ready == 0 ? ETIMEDOUT : errno;
    }
    return SendFailed(error);
  }
  return true;
}

bool Socket::SendSecure(const std::uint8_t* next, std::size_t count) {
  while (count > 0) {
    std::size_t moved = 0;
    const TlsSession::Progress progress = tls_->Write(next, count, moved);
    if (progress == TlsSession::Progress::Done) {
      next += moved;
      count -= moved;
      continue;
    }
    if (progress != TlsSession::Progress::WantRead && progress != TlsSession::Progress::WantWrite)
      return SendFailed(EPIPE);
    const int ready = WaitReady(progress == TlsSession::Progress::WantRead ? POLLIN : POLLOUT, false);
    if (ready <= 0) return SendFailed(ready == 0 ? ETIMEDOUT : errno);
  }
  return true;
}

bool Socket::SendFailed(int error) {
  // Part of a PDU may have left: the stream can no longer be used.
  Close();
  WriteLog("ERROR, Socket::SendBinary, couldn't send: " + std::to_string(error));
  return false;
}

int Socket::WaitReady(short events, bool reading) {
  pollfd wait{Socketfd, events, 0};
  int ready = 0;  // past the deadline: a time-out, even with bytes waiting
  while (!reading || !DeadlinePassed()) {
    int waitMs = TimeOut * 1000;
    if (reading && deadline_) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - std::chrono::steady_clock::now());
      waitMs = static_cast<int>(std::clamp<long long>(left.count(), 0, waitMs));
    }
    ready = ::poll(&wait, 1, waitMs);
    if (ready >= 0 || errno != EINTR) break;
  }
  return ready;
}

int Socket::ReadTimedOut() {
  Close();
  if (TimeOut == 0) return 0;
  WriteLog("ERROR, Socket::ReadBinary, Timed out");
  return -1;
}

int Socket::ReadBinary(void* buffer, std::size_t size) {
  if (!Connected) return -1;
  if (tls_) return ReadSecure(buffer, size);
  if (WaitReady(POLLIN, true) <= 0) return ReadTimedOut();
  ssize_t got;
  do {
    got = ::recv(Socketfd, buffer, size, 0);
  } while (got < 0 && errno == EINTR);
  if (got <= 0) {
    // Closed or reset by the peer (peers that linger 0 always reset):
    // every later call fails at once.
    Close();
    return -1;
  }
  SetQuickAck(Socketfd);
  return static_cast<int>(got);
}

int Socket::ReadSecure(void* buffer, std::size_t size) {
  short awaited = POLLIN;
  // Bytes the session already holds are handed out without a wait.
  bool wait = !tls_->Pending();
  while (true) {
    if (wait && WaitReady(awaited, true) <= 0) return ReadTimedOut();
    std::size_t moved = 0;
    const TlsSession::Progress progress = tls_->Read(buffer, size, moved);
    if (progress == TlsSession::Progress::Done) {
      SetQuickAck(Socketfd);
      return static_cast<int>(moved);
    }
    if (progress != TlsSession::Progress::WantRead && progress != TlsSession::Progress::WantWrite) {
      if (progress == TlsSession::Progress::Failed)
        WriteLog("ERROR, TLS connection with " + PeerAddress() + " failed: " + tls_->FailureReason());
      Close();
      return -1;
    }
    awaited = progress == TlsSession::Progress::WantRead ? POLLIN : POLLOUT;
    wait = true;
  }
}

bool Socket::StartTls(const TlsContext& context, int seconds) {
  if (!Connected) return false;
  const std::string peer = PeerAddress();
  const auto savedDeadline = deadline_;
  const auto ownDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  if (!deadline_ || ownDeadline < *deadline_) deadline_ = ownDeadline;
  // The session decides itself when it needs to wait; the handle must never
  // block it.
  ::fcntl(Socketfd, F_SETFL, ::fcntl(Socketfd, F_GETFL) | O_NONBLOCK);
  auto session = std::make_unique<TlsSession>(context, Socketfd);
  if (context.GetSide() == TlsContext::Side::Requestor) session->ExpectPeer(connectedHost_);
  TlsSession::Progress progress = session->Handshake();
  while (progress == TlsSession::Progress::WantRead || progress == TlsSession::Progress::WantWrite) {
    if (WaitReady(progress == TlsSession::Progress::WantRead ? POLLIN : POLLOUT, true) <= 0) break;
    progress = session->Handshake();
  }
  deadline_ = savedDeadline;
  if (progress == TlsSession::Progress::Done) {
    WriteDebugLog("INFO, TLS with " + peer + ": " + session->Summary() +
                  (context.VerifiesPeer() ? ", peer " + session->PeerSubject() : ""));
    tls_ = std::move(session);
    return true;
  }
  const bool timedOut = progress == TlsSession::Progress::WantRead || progress == TlsSession::Progress::WantWrite;
  WriteLog("ERROR, TLS handshake with " + peer +
           (timedOut ? " not complete within " + std::to_string(seconds) + " seconds"
                     : " failed: " + session->FailureReason()) +
           ", connection closed");
  Close();
  return false;
}

std::string Socket::PeerAddress() const {
  sockaddr_in peer{};
  socklen_t size = sizeof peer;
  if (Socketfd == NoHandle || ::getpeername(Socketfd, reinterpret_cast<sockaddr*>(&peer), &size) != 0 ||
      peer.sin_family != AF_INET)
    return "";
  char text[INET_ADDRSTRLEN] = "";
  ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
}

bool Socket::Close() {
  tls_.reset();
  CloseHandle(Socketfd);
  CloseHandle(ListenSocketfd);
  Connected = false;
  Listened = false;
  return true;
}

bool Socket::CloseInOrder(int waitMs) {
  bool peerClosed = false;
  if (Connected) {
    // Over TLS our closing alert goes first: without it the peer cannot
    // tell our end from a cut connection.
    if (tls_) tls_->Shutdown();
    peerClosed = HalfCloseAndDrain(Socketfd, waitMs);
    linger graceful{0, 0};
    setsockopt(Socketfd, SOL_SOCKET, SO_LINGER, &graceful, sizeof graceful);
  }
  Close();
  return peerClosed;
}

bool Socket::Readable() const {
  if (!Connected) return false;
  pollfd waiting{Socketfd, POLLIN, 0};
  return ::poll(&waiting, 1, 0) > 0;
}

bool Socket::SetTimeout(int seconds) {
  TimeOut = seconds;
  return true;
}

void Socket::SetReadDeadline(int seconds) {
  if (seconds > 0)
    deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  else
    deadline_.reset();
}

bool Socket::DeadlinePassed() const { return deadline_ && std::chrono::steady_clock::now() >= *deadline_; }

void Socket::Attach(int handle) {
  tls_.reset();
  connectedHost_.clear();
  CloseHandle(Socketfd);
  Socketfd = handle;
  Connected = handle != NoHandle;
  if (Connected) SetQuickAck(handle);
}

int Socket::Detach() {
  tls_.reset();
  int handle = Socketfd;
  Socketfd = NoHandle;
  Connected = false;
  return handle;
}

int Socket::DetachListening() {
  int handle = ListenSocketfd;
  ListenSocketfd = NoHandle;
  Listened = false;
  return handle;
}

}  // namespace tarvelin
