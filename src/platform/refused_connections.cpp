#include "platform/refused_connections.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tarvelin {

void RefusedConnections::Add(int fd) {
  if (waiting_.size() >= MaxAtOnce) {
    close(fd);
    return;
  }
  waiting_.push_back({fd, std::chrono::steady_clock::now() + std::chrono::milliseconds(WaitMs)});
}

void RefusedConnections::AppendPollSet(std::vector<pollfd>& set) const {
  for (const Waiting& w : waiting_) set.push_back({w.fd, POLLIN, 0});
}

void RefusedConnections::Serve(const pollfd* results) {
  const auto now = std::chrono::steady_clock::now();
  std::vector<Waiting> open;
  for (std::size_t i = 0; i < waiting_.size(); ++i) {
    Waiting w = waiting_[i];
    bool ended = now >= w.deadline;
    if (!ended && results && results[i].revents != 0) {
      // The refusal answers the peer's first bytes; whatever else it sends is
      // dropped, so closing never meets unread input (which would reset).
      char buffer[4096];
      const ssize_t n = recv(w.fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0 && !w.answered) {
        [[maybe_unused]] ssize_t sent = send(w.fd, refusal_.data(), refusal_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        shutdown(w.fd, SHUT_WR);
        w.answered = true;
      }
      ended = n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
    }
    if (ended)
      close(w.fd);
    else
      open.push_back(w);
  }
  waiting_.swap(open);
}

int RefusedConnections::NextExpiryMs() const {
  if (waiting_.empty()) return -1;
  auto first = waiting_.front().deadline;
  for (const Waiting& w : waiting_) first = std::min(first, w.deadline);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(first - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<long long>(left.count(), 0)) + 1;
}

void RefusedConnections::CloseAll() {
  for (const Waiting& w : waiting_) close(w.fd);
  waiting_.clear();
}

}  // namespace tarvelin
