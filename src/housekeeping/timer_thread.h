#pragma once
// The housekeeping thread: on a 10-second tick it scans the order drop
// folder every minute and, every ten minutes, starts the day's log file when
// the day has changed and runs the ageing pass. Of several servers on one
// database only the holder of each duty's lease scans or ages; every server
// rolls its own log.
#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>

#include "db/service_lease.h"

namespace tarvelin {

class TimerThread {
 public:
  static constexpr int DefaultPeriodMs = 10000;

  // `executable` is the file whose version the new day's log begins with.
  explicit TimerThread(std::string executable, int periodMs = DefaultPeriodMs);
  // Asks the thread to end and waits for it.
  ~TimerThread();
  TimerThread(const TimerThread&) = delete;
  TimerThread& operator=(const TimerThread&) = delete;

  // Runs the tick loop on a thread of its own.
  void Start();
  // Asks the loop to end: a sleeping thread wakes at once; a running ageing
  // pass stops before its next PACS question. Any thread may call it.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Waits up to `ms` for the loop to end; false while it still runs.
  bool WaitFor(int ms);

  // One tick's work (the loop calls it after each sleep): tick 60, 120, ...
  // rolls the log and ages the worklist, tick 6, 12, ... scans the drop
  // folder, each pass when this server holds its duty.
  void Tick();

 private:
  void Execute();
  // Sleeps one period; false when asked to end meanwhile.
  bool Sleep();

  std::string executable_;
  int periodMs_;
  std::string lastDay_;  // day of the month ("dd") at the last ten-minute tick
  int ticks_ = 0;
  ServiceLease ageing_{Duty::Housekeeping};
  ServiceLease scanning_{Duty::DropFolderScan};
  std::atomic<bool> terminated_{false};
  std::mutex wakeLock_;
  std::condition_variable wake_;
  std::future<void> ended_;
};

}  // namespace tarvelin
