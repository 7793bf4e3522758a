#include "web/connection_deadlines.h"

#include <sys/socket.h>

#include "service/log.h"
#include "service/log_peer.h"

namespace tarvelin {

struct ConnectionDeadlines::Connection {
  int fd;
  std::string address;
  SteadyClock::time_point deadline;  // max(): none
  const char* phase;                 // what was late, for the log line
  int seconds;
  bool ended = false;
};

ConnectionDeadlines::ConnectionDeadlines(int headerSeconds, int bodySeconds)
    : headerSeconds_(headerSeconds), bodySeconds_(bodySeconds), watcher_([this] { Watch(); }) {}

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
  connection->phase = "request headers";
  connection->seconds = headerSeconds_;
  return connection;
}

void ConnectionDeadlines::SetDeadline(Connection* connection, int seconds, const char* phase) {
  if (!connection) return;
  std::lock_guard<std::mutex> hold(lock_);
  connection->deadline =
      seconds > 0 ? SteadyClock::now() + std::chrono::seconds(seconds) : SteadyClock::time_point::max();
  connection->phase = phase;
  connection->seconds = seconds;
}

void ConnectionDeadlines::HeadersDone(Connection* connection) { SetDeadline(connection, bodySeconds_, "request body"); }

void ConnectionDeadlines::Answering(Connection* connection) { SetDeadline(connection, 0, ""); }

void ConnectionDeadlines::Answered(Connection* connection) {
  SetDeadline(connection, headerSeconds_, "request headers");
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
    if (connection->ended || connection->deadline > now) continue;
    {
      const PeerLogScope peer(connection->address);
      WriteLog("WARNING, WEB server, connection closed: " + std::string(connection->phase) + " not complete within " +
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
