#include "service/syslog_stream_queue.h"

#include <algorithm>

#include "service/log.h"

namespace tarvelin {

namespace {
constexpr std::chrono::seconds kWarningPause{60};
}  // namespace

std::string OctetCounted(const std::string& message) {
  std::string framed = std::to_string(message.size());
  framed += ' ';
  framed += message;
  return framed;
}

SyslogStreamQueue::SyslogStreamQueue(std::unique_ptr<SyslogStream> stream, std::string name, std::string host,
                                     std::string port)
    : stream_(std::move(stream)), name_(std::move(name)), host_(std::move(host)), port_(std::move(port)) {
  sender_ = std::thread([this] { Run(); });
}

SyslogStreamQueue::~SyslogStreamQueue() {
  {
    std::lock_guard<std::mutex> hold(busy_);
    stopping_ = true;
  }
  wake_.notify_all();
  sender_.join();
}

void SyslogStreamQueue::Push(const std::string& message) {
  std::lock_guard<std::mutex> hold(busy_);
  if (queue_.size() >= kCapacity) {
    Drop(1, "the queue is full (" + (lastProblem_.empty() ? std::string("collector too slow") : lastProblem_) + ")");
    return;
  }
  queue_.push_back(message);
  wake_.notify_all();
}

void SyslogStreamQueue::Run() {
  std::unique_lock<std::mutex> hold(busy_);
  for (;;) {
    if (queue_.empty()) {
      if (stopping_) break;
      wake_.wait(hold);
      continue;
    }
    if (!connected_ && std::chrono::steady_clock::now() < retryAt_) {
      // At shutdown a collector that is away is not waited for.
      if (stopping_) {
        Drop(queue_.size(), "not sent at shutdown (" + lastProblem_ + ")");
        queue_.clear();
        break;
      }
      wake_.wait_until(hold, retryAt_);
      continue;
    }
    if (!EnsureConnected(hold)) continue;
    const std::string framed = OctetCounted(queue_.front());
    queue_.pop_front();
    hold.unlock();
    const bool sent = stream_->Write(framed);
    hold.lock();
    if (!sent) {
      // The message may or may not have reached the collector; it is not sent twice.
      stream_->Disconnect();
      connected_ = false;
      PauseConnecting("connection lost");
      Drop(1, lastProblem_);
    }
  }
  if (dropped_ > 0) {
    warned_ = false;
    Drop(0, lastProblem_);
  }
  if (connected_) stream_->Disconnect();
}

bool SyslogStreamQueue::EnsureConnected(std::unique_lock<std::mutex>& hold) {
  if (connected_) return true;
  std::string error;
  hold.unlock();
  const bool connected = stream_->Connect(host_, port_, error);
  hold.lock();
  if (connected) {
    connected_ = true;
    lastProblem_.clear();
    retryPause_ = kFirstRetryPause;
    WriteLog("INFO, AuditSyslog " + name_ + " connected");
    return true;
  }
  PauseConnecting("cannot connect: " + error);
  Drop(0, lastProblem_ + "; audit messages wait, up to " + std::to_string(kCapacity));
  return false;
}

void SyslogStreamQueue::PauseConnecting(const std::string& problem) {
  lastProblem_ = problem;
  retryAt_ = std::chrono::steady_clock::now() + retryPause_;
  retryPause_ = std::min(retryPause_ * 2, kLongestRetryPause);
}

void SyslogStreamQueue::Drop(std::size_t count, const std::string& reason) {
  dropped_ += count;
  const auto now = std::chrono::steady_clock::now();
  if (warned_ && now - warnedAt_ < kWarningPause) return;
  std::string line = "WARNING, AuditSyslog " + name_ + ", " + reason;
  if (dropped_ > 0) line += "; " + std::to_string(dropped_) + " audit messages dropped";
  WriteLog(line);
  dropped_ = 0;
  warned_ = true;
  warnedAt_ = now;
}

}  // namespace tarvelin
