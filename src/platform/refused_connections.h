#pragma once
// Connections accepted over a server's limit. They get no thread: the accept
// loop polls them with its listening socket, answers each one's first bytes
// (its request) with a fixed refusal, sends its FIN and closes it once the
// peer has closed or `waitMs` have passed. Used by the accept thread only.
#include <poll.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace tarvelin {

class RefusedConnections {
 public:
  RefusedConnections() = default;
  ~RefusedConnections() { CloseAll(); }
  RefusedConnections(const RefusedConnections&) = delete;
  RefusedConnections& operator=(const RefusedConnections&) = delete;

  void SetRefusal(std::string bytes) { refusal_ = std::move(bytes); }
  // Takes over an accepted connection; beyond `MaxAtOnce` waiting ones it is
  // closed unanswered rather than holding more descriptors.
  void Add(int fd);
  // Appends one poll entry per waiting connection, in order.
  void AppendPollSet(std::vector<pollfd>& set) const;
  // Acts on the poll results of the entries appended last (`results` points
  // at the first of them; null after a time-out) and on expired waits.
  void Serve(const pollfd* results);
  // Milliseconds until the next wait expires; -1 when none waits.
  int NextExpiryMs() const;
  void CloseAll();

  static constexpr std::size_t MaxAtOnce = 256;
  static constexpr int WaitMs = 2000;

 private:
  struct Waiting {
    int fd;
    std::chrono::steady_clock::time_point deadline;
    bool answered = false;
  };

  std::string refusal_;
  std::vector<Waiting> waiting_;
};

}  // namespace tarvelin
