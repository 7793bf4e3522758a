#include "web/login_sessions.h"

#include <algorithm>

namespace tarvelin {

LoginSessions::LoginSessions(Clock::duration quiet, std::size_t maxPairs) : quiet_(quiet), maxPairs_(maxPairs) {}

bool LoginSessions::Succeeded(const std::string& user, const std::string& address, Clock::time_point now) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto key = std::make_pair(user, address);
  if (const auto found = lastSeen_.find(key); found != lastSeen_.end()) {
    const bool begins = now - found->second >= quiet_;
    found->second = now;
    return begins;
  }
  if (lastSeen_.size() >= maxPairs_) {
    std::erase_if(lastSeen_, [&](const auto& seen) { return now - seen.second >= quiet_; });
    // Still full (many users at many addresses at once): the quietest goes.
    while (lastSeen_.size() >= maxPairs_)
      lastSeen_.erase(std::min_element(lastSeen_.begin(), lastSeen_.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; }));
  }
  lastSeen_.emplace(key, now);
  return true;
}

void LoginSessions::Failed(const std::string& address) {
  std::lock_guard<std::mutex> guard(lock_);
  std::erase_if(lastSeen_, [&](const auto& seen) { return seen.first.second == address; });
}

void LoginSessions::LoggedOut(const std::string& user) {
  std::lock_guard<std::mutex> guard(lock_);
  std::erase_if(lastSeen_, [&](const auto& seen) { return seen.first.first == user; });
}

LoginSessions& WebLoginSessions() {
  static LoginSessions sessions;
  return sessions;
}

}  // namespace tarvelin
