#pragma once
// Pins the process clock to a local date and time for one test.
#include <ctime>

#include "platform/clock.h"

namespace tarvelin {

// The instant of a local date and time.
inline Clock::time_point LocalInstant(int year, int month, int day, int hour, int minute, int second = 0) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return Clock::from_time_t(std::mktime(&local));
}

class PinnedClock {
 public:
  PinnedClock(int year, int month, int day, int hour, int minute, int second) {
    SetNow(LocalInstant(year, month, day, hour, minute, second));
  }
  ~PinnedClock() { SetNow(std::nullopt); }
  PinnedClock(const PinnedClock&) = delete;
  PinnedClock& operator=(const PinnedClock&) = delete;
};

}  // namespace tarvelin
