#pragma once
// Keeps one peer from flooding the log with the same complaint: of identical
// lines from one peer, at most `MaxPerWindow` are written per `Window`; the
// rest are counted, and the count is reported with the first identical line
// written after the window has passed. Distinct lines and distinct peers are
// never held back by each other. Not thread-safe: the log calls it under its
// own lock.
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarvelin {

class RepeatedLineLimiter {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int MaxPerWindow = 5;
  static constexpr std::chrono::seconds Window{60};
  // Lines remembered at most; beyond it the memory starts afresh, so a peer
  // inventing new lines cannot grow it without bound.
  static constexpr std::size_t MaxRemembered = 4096;

  // True when the line is to be written. `suppressed` is set to the number
  // of identical lines held back since the last one written (0 mostly).
  bool Admit(std::string_view peer, std::string_view text, Clock::time_point now, int& suppressed);

 private:
  struct Seen {
    Clock::time_point windowStart;
    int written = 0;
    int suppressed = 0;
  };
  std::unordered_map<std::string, Seen> seen_;
};

}  // namespace tarvelin
