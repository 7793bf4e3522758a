#pragma once
// Which successful web logins the audit trail records. HTTP Basic sends the
// password with every request, so every request is a login; writing each
// would bury the trail. A user at a client address is recorded when a
// session begins: the first success, a success after `quiet` without a
// request of that user from that address, and the first success after a
// failed login or a log-out there. At most `maxPairs` user/address pairs
// are remembered; when full, the ones quiet longest are forgotten (their
// next request is recorded again: more lines, never fewer). Any thread may
// call.
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace tarvelin {

class LoginSessions {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::minutes kQuiet{15};
  static constexpr std::size_t kMaxPairs = 4096;

  explicit LoginSessions(Clock::duration quiet = kQuiet, std::size_t maxPairs = kMaxPairs);

  // Notes a successful login; true when it begins a session (to be recorded).
  bool Succeeded(const std::string& user, const std::string& address, Clock::time_point now);
  // A failed login from `address` (whatever user name it tried): the next
  // success from there begins a session.
  void Failed(const std::string& address);
  // `user` logged out: the next success anywhere begins a session.
  void LoggedOut(const std::string& user);

 private:
  const Clock::duration quiet_;
  const std::size_t maxPairs_;
  std::mutex lock_;
  std::map<std::pair<std::string, std::string>, Clock::time_point> lastSeen_;  // (user, address)
};

// The web server's sessions.
LoginSessions& WebLoginSessions();

}  // namespace tarvelin
