#include "web/connection_deadlines.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "service/log.h"
#include "service/log_peer.h"

namespace tarvelin {

struct ConnectionDeadlines::Connection {
  int fd;
  std::string address;
  SteadyClock::time_point deadline;  // max(): none
  const char* late;  // the log line's reason, before the seconds: "request body not complete within"
  int seconds;
  bool sending = false;       // the deadline moves with the client's progress
  std::uint64_t acked = 0;    // bytes the client had acknowledged at the last look
  bool ended = false;
};

namespace {
// Bytes of ours the peer's TCP has acknowledged so far: it stops
// acknowledging once its receive buffer is full, that is when its
// application stops reading. 0 when the socket cannot say.
std::uint64_t BytesAcknowledged(int fd) {
  tcp_info info{};
  socklen_t length = sizeof info;
  if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return 0;
  return length >= offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked ? info.tcpi_bytes_acked : 0;
}
}  // namespace

ConnectionDeadlines::ConnectionDeadlines(int headerSeconds, int bodySeconds, int answerSeconds)
    : headerSeconds_(headerSeconds),
      bodySeconds_(bodySeconds),
      answerSeconds_(answerSeconds),
      watcher_([this] { Watch(); }) {}

ConnectionDeadlines::~ConnectionDeadlines() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  stopSignal_.notify_all();
  watcher_.join();
  for (Connection* connection : open_) delete connection;
}

ConnectionDeadlines::Connection* ConnectionDeadlines::Opened(int fd, std::string address) {
  auto* connection = new Connection{fd, std::move(address), {}, "", 0};
  std::lock_guard<std::mutex> hold(lock_);
  open_.insert(connection);
  connection->deadline = SteadyClock::now() + std::chrono::seconds(headerSeconds_);
  connection->late = "request headers not complete within";
  connection->seconds = headerSeconds_;
  return connection;
}

void ConnectionDeadlines::SetDeadline(Connection* connection, int seconds, const char* late) {
  if (!connection) return;
  std::lock_guard<std::mutex> hold(lock_);
  connection->deadline =
      seconds > 0 ? SteadyClock::now() + std::chrono::seconds(seconds) : SteadyClock::time_point::max();
  connection->late = late;
  connection->seconds = seconds;
  connection->sending = false;
}

void ConnectionDeadlines::HeadersDone(Connection* connection) { SetDeadline(connection, bodySeconds_, "request body not complete within"); }

void ConnectionDeadlines::Answering(Connection* connection) { SetDeadline(connection, 0, ""); }

void ConnectionDeadlines::Sending(Connection* connection) {
  if (!connection) return;
  SetDeadline(connection, answerSeconds_, "answer not read for");
  const std::uint64_t acked = BytesAcknowledged(connection->fd);
  std::lock_guard<std::mutex> hold(lock_);
  connection->sending = true;
  connection->acked = acked;
}

void ConnectionDeadlines::Answered(Connection* connection) {
  SetDeadline(connection, headerSeconds_, "request headers not complete within");
}

void ConnectionDeadlines::Closed(Connection* connection) {
  if (!connection) return;
  std::lock_guard<std::mutex> hold(lock_);
  open_.erase(connection);
  delete connection;
}

int ConnectionDeadlines::EndOverdue(SteadyClock::time_point now) {
  int ended = 0;
  std::lock_guard<std::mutex> hold(lock_);
  for (Connection* connection : open_) {
    if (connection->ended) continue;
    if (connection->sending) {
      const std::uint64_t acked = BytesAcknowledged(connection->fd);
      if (acked != connection->acked) {
        connection->acked = acked;
        connection->deadline = now + std::chrono::seconds(connection->seconds);
      }
    }
    if (connection->deadline > now) continue;
    {
      const PeerLogScope peer(connection->address);
      WriteLog("WARNING, WEB server, connection closed: " + std::string(connection->late) + " " +
               std::to_string(connection->seconds) + " s");
    }
    // The socket stays open until its thread closes it (Closed is called
    // first, under this lock), so the descriptor cannot be another one's.
    ::shutdown(connection->fd, SHUT_RDWR);
    connection->ended = true;
    ++ended;
  }
  return ended;
}

void ConnectionDeadlines::Watch() {
  std::unique_lock<std::mutex> hold(lock_);
  while (!stopping_) {
    stopSignal_.wait_for(hold, std::chrono::milliseconds(250));
    if (stopping_) break;
    hold.unlock();
    EndOverdue(SteadyClock::now());
    hold.lock();
  }
}

}  // namespace tarvelin
