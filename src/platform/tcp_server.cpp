#include "platform/tcp_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "platform/orderly_close.h"

namespace tarvelin {

namespace {

// Several small writes (an acknowledgement per message) must not wait for the
// peer's delayed ACK.
void SetNoDelay(int fd) {
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

std::string ErrnoText(const std::string& what, int err) { return what + ": " + std::strerror(err); }
// Pause after an accept that failed for want of resources.
constexpr int AcceptRetryPauseMs = 100;

}  // namespace

bool TcpConnection::Receive(std::string& out) {
  char buffer[65536];
  for (;;) {
    ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
      out.append(buffer, static_cast<size_t>(n));
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
}

bool TcpConnection::Send(std::string_view data) {
  while (!data.empty()) {
    ssize_t n = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

TcpConnection::Wait TcpConnection::ReceiveWithin(std::string& out, int timeoutMs) {
  pollfd wait{fd_, POLLIN, 0};
  int ready;
  do {
    ready = poll(&wait, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready == 0) return Wait::TimedOut;
  return Receive(out) ? Wait::Data : Wait::Closed;
}

void TcpConnection::Finish(int drainMs) { HalfCloseAndDrain(fd_, drainMs); }

std::string TcpConnection::PeerAddress() const {
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  if (getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &len) != 0) return "";
  char text[INET_ADDRSTRLEN] = {};
  return inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text) ? text : "";
}

TcpServer::~TcpServer() { Deactivate(); }

void TcpServer::SetConnectionLimit(int maximum, std::string refusal, RefusalSink onRefused) {
  maxConnections_ = maximum;
  refused_.SetRefusal(std::move(refusal));
  onRefused_ = std::move(onRefused);
}

void TcpServer::Activate() {
  if (Active()) return;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error(ErrnoText("Could not create socket", errno));
  // A restart must be able to bind again while connections this server
  // closed are still in TIME_WAIT; a port another program listens on is
  // still refused.
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<uint16_t>(defaultPort_));
  if (defaultPort_ < 0 || defaultPort_ > 65535) {
    close(fd);
    throw std::runtime_error("Could not bind socket, invalid port: " + std::to_string(defaultPort_));
  }
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    int err = errno;
    close(fd);
    throw std::runtime_error(ErrnoText("Could not bind socket to port " + std::to_string(defaultPort_), err));
  }
  if (listen(fd, SOMAXCONN) != 0) {
    int err = errno;
    close(fd);
    throw std::runtime_error(ErrnoText("Could not listen on port " + std::to_string(defaultPort_), err));
  }
  Serve(fd);
}

void TcpServer::Serve(int listenFd) {
  if (Active()) {
    close(listenFd);
    return;
  }
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  getsockname(listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
  boundPort_ = ntohs(addr.sin_port);
  if (pipe2(wakePipe_, O_CLOEXEC) != 0) {
    int err = errno;
    close(listenFd);
    throw std::runtime_error(ErrnoText("Could not create wake-up pipe", err));
  }
  listenFd_ = listenFd;
  try {
    acceptThread_ = std::thread([this] { AcceptLoop(); });
  } catch (...) {
    Deactivate();
    throw;
  }
}

void TcpServer::Deactivate() {
  if (acceptThread_.joinable()) {
    char wake = 1;
    [[maybe_unused]] ssize_t ignored = write(wakePipe_[1], &wake, 1);
    acceptThread_.join();
  }
  if (listenFd_ >= 0) close(listenFd_);
  listenFd_ = -1;
  for (int& end : wakePipe_) {
    if (end >= 0) close(end);
    end = -1;
  }
  std::list<std::unique_ptr<Worker>> all;
  {
    std::lock_guard<std::mutex> hold(workersLock_);
    // Shutting a socket down wakes a handler blocked in Receive; the worker
    // itself closes the descriptor.
    for (auto& w : workers_)
      if (w->fd >= 0) shutdown(w->fd, SHUT_RDWR);
    all.swap(workers_);
  }
  for (auto& w : all) w->thread.join();
}

void TcpServer::AcceptLoop() {
  for (;;) {
    std::vector<pollfd> fds{{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    refused_.AppendPollSet(fds);
    const int ready = poll(fds.data(), fds.size(), refused_.NextExpiryMs());
    if (ready < 0 && errno != EINTR) {
      ReportAcceptFailure(errno);
      poll(&fds[1], 1, AcceptRetryPauseMs);
      continue;
    }
    if (fds[1].revents != 0) break;
    refused_.Serve(ready > 0 ? fds.data() + 2 : nullptr);
    if (ready > 0 && fds[0].revents != 0) AcceptOne();
  }
  refused_.CloseAll();
}

void TcpServer::AcceptOne() {
  ReapFinished();
  int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    if (err == EINTR || err == ECONNABORTED || err == EAGAIN) return;
    ReportAcceptFailure(err);
    // Out of descriptors or memory: give the running connections a moment
    // to end instead of spinning, then try again.
    pollfd wake{wakePipe_[0], POLLIN, 0};
    poll(&wake, 1, AcceptRetryPauseMs);
    return;
  }
  lastAcceptError_ = 0;
  SetNoDelay(fd);
  if (AtLimit())
    Refuse(fd);
  else
    StartWorker(fd);
}

void TcpServer::ReportAcceptFailure(int err) {
  // Descriptors can stay exhausted for a while: one line when the failure
  // starts or changes, then one a minute, not ten a second.
  const auto now = std::chrono::steady_clock::now();
  if (err == lastAcceptError_ && now - lastAcceptReport_ < std::chrono::minutes(1)) return;
  lastAcceptError_ = err;
  lastAcceptReport_ = now;
  Report(ErrnoText("TcpServer::Accept", err) + ", retrying");
}

bool TcpServer::AtLimit() {
  if (maxConnections_ <= 0) return false;
  std::lock_guard<std::mutex> hold(workersLock_);
  int running = 0;
  for (const auto& w : workers_)
    if (!w->finished) ++running;
  return running >= maxConnections_;
}

void TcpServer::Refuse(int fd) {
  if (onRefused_) onRefused_(TcpConnection(fd).PeerAddress());
  refused_.Add(fd);
}

void TcpServer::StartWorker(int fd) {
  std::lock_guard<std::mutex> hold(workersLock_);
  auto worker = std::make_unique<Worker>();
  worker->fd = fd;
  Worker& w = *worker;
  try {
    w.thread = std::thread([this, &w] { RunWorker(w); });
  } catch (const std::exception& e) {
    close(fd);
    Report(std::string("TcpServer::Accept, could not start a connection thread, ") + e.what());
    return;
  }
  workers_.push_back(std::move(worker));
}

void TcpServer::RunWorker(Worker& worker) {
  try {
    TcpConnection connection(worker.fd);
    if (handler_) handler_(connection);
  } catch (const std::exception& e) {
    Report(std::string("TcpServer::Execute, ") + e.what());
  } catch (...) {
    Report("TcpServer::Execute, unknown exception");
  }
  std::lock_guard<std::mutex> hold(workersLock_);
  close(worker.fd);
  worker.fd = -1;
  worker.finished = true;
}

void TcpServer::ReapFinished() {
  std::list<std::unique_ptr<Worker>> done;
  {
    std::lock_guard<std::mutex> hold(workersLock_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      auto next = std::next(it);
      if ((*it)->finished) done.splice(done.end(), workers_, it);
      it = next;
    }
  }
  for (auto& w : done) w->thread.join();
}

void TcpServer::Report(const std::string& text) {
  if (!onError_) return;
  try {
    onError_(text);
  } catch (...) {
  }
}

}  // namespace tarvelin
