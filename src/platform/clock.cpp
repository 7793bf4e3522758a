#include "platform/clock.h"

#include <atomic>
#include <limits>
#include <thread>

namespace tarvelin {

namespace {
// Nanoseconds since the epoch of the pinned instant; INT64_MIN means "not pinned".
std::atomic<long long> pinned{std::numeric_limits<long long>::min()};
}

Clock::time_point Now() {
  long long p = pinned.load(std::memory_order_relaxed);
  if (p == std::numeric_limits<long long>::min()) return Clock::now();
  return Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(p)));
}

void SetNow(std::optional<Clock::time_point> at) {
  pinned.store(at ? std::chrono::duration_cast<std::chrono::nanoseconds>(at->time_since_epoch()).count()
                  : std::numeric_limits<long long>::min());
}

std::tm LocalTime(Clock::time_point at) {
  std::time_t t = Clock::to_time_t(at);
  std::tm out{};
  localtime_r(&t, &out);
  return out;
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace tarvelin
