#pragma once
// Slows down password guessing against the web login. Failed logins are
// counted per client address and per user name; the first few are free,
// then each further attempt from that address or for that name must wait
// twice as long as the last (1 s, 2 s, 4 s, ... up to a lock of 15 minutes).
// A wait ends by itself; a successful login clears both counts, and counts
// left alone for a day are forgotten. Any thread may call.
#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace tarvelin {

class LoginThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kFreeFailures = 5;
  static constexpr std::chrono::seconds kLongestWait{15 * 60};

  // Whole seconds (rounded up) before an attempt from `address` as `user`
  // is looked at; 0 when it may be tried now.
  long long WaitSeconds(const std::string& address, const std::string& user, Clock::time_point now);
  // Counts a wrong password; returns the larger of the two counts.
  int Failed(const std::string& address, const std::string& user, Clock::time_point now);
  void Succeeded(const std::string& address, const std::string& user);

 private:
  struct Record {
    int failures = 0;
    Clock::time_point last;
  };
  static Clock::duration WaitAfter(int failures);
  void ForgetOld(Clock::time_point now);

  std::mutex lock_;
  std::map<std::string, Record> records_;  // "a " + address, "u " + user name
};

// The web server's throttle.
LoginThrottle& WebLoginThrottle();

}  // namespace tarvelin
