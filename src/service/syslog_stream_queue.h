#pragma once
// Sends syslog messages over a SyslogStream from a thread of its own, so
// whoever audits never waits for the collector: Push only queues. The queue
// is bounded; a message that finds it full is dropped and counted. A lost
// or refused connection is tried again after a pause; what is dropped
// meanwhile, and why, is logged as one WARNING line at most once a minute.
// Each message goes out octet-counted (RFC 5425: MSG-LEN SP SYSLOG-MSG).
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "service/syslog_stream.h"

namespace tarvelin {

class SyslogStreamQueue {
 public:
  static constexpr std::size_t kCapacity = 1000;
  // The pause after a failed connection, doubled after each further failure
  // up to the longest, so a collector that keeps refusing us is not asked
  // (and the refusal not logged) every few seconds.
  static constexpr std::chrono::seconds kFirstRetryPause{10};
  static constexpr std::chrono::seconds kLongestRetryPause{300};

  // `name` is the target as configured, for log lines.
  SyslogStreamQueue(std::unique_ptr<SyslogStream> stream, std::string name, std::string host, std::string port);
  // Sends what is queued while the connection holds, then stops the thread.
  ~SyslogStreamQueue();
  SyslogStreamQueue(const SyslogStreamQueue&) = delete;
  SyslogStreamQueue& operator=(const SyslogStreamQueue&) = delete;

  void Push(const std::string& message);

 private:
  void Run();
  // Connects when not connected; true when connected.
  bool EnsureConnected(std::unique_lock<std::mutex>& hold);
  // Counts `count` lost messages and logs them with `reason`, at most once a minute.
  // Starts the pause before the next connection.
  void PauseConnecting(const std::string& problem);
  void Drop(std::size_t count, const std::string& reason);

  std::unique_ptr<SyslogStream> stream_;
  const std::string name_, host_, port_;
  std::mutex busy_;
  std::condition_variable wake_;
  std::deque<std::string> queue_;
  bool stopping_ = false;
  bool connected_ = false;
  std::chrono::steady_clock::time_point retryAt_{};
  std::chrono::seconds retryPause_ = kFirstRetryPause;
  std::string lastProblem_;
  std::size_t dropped_ = 0;  // since the last WARNING line
  std::chrono::steady_clock::time_point warnedAt_{};
  bool warned_ = false;
  std::thread sender_;
};

// RFC 5425's framing of one message.
std::string OctetCounted(const std::string& message);

}  // namespace tarvelin
