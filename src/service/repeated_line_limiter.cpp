#include "service/repeated_line_limiter.h"

namespace tarvelin {

bool RepeatedLineLimiter::Admit(std::string_view peer, std::string_view text, Clock::time_point now,
                                int& suppressed) {
  suppressed = 0;
  if (seen_.size() >= MaxRemembered) seen_.clear();
  std::string key;
  key.reserve(peer.size() + 1 + text.size());
  key.append(peer).append(1, '\0').append(text);
  auto [it, fresh] = seen_.try_emplace(std::move(key));
  Seen& seen = it->second;
  if (fresh || now - seen.windowStart >= Window) {
    suppressed = seen.suppressed;
    seen = Seen{now, 1, 0};
    return true;
  }
  if (seen.written < MaxPerWindow) {
    ++seen.written;
    return true;
  }
  ++seen.suppressed;
  return false;
}

}  // namespace tarvelin
