#pragma once
// The one process-wide clock. Everything that needs the local date or time
// (log file names, log lines, ageing, generated accession numbers and UIDs)
// asks Now(), so tests can pin the clock to a fixed instant.
#include <chrono>
#include <ctime>
#include <optional>

namespace tarvelin {

using Clock = std::chrono::system_clock;

Clock::time_point Now();

// Pins Now() to `at` (tests only); std::nullopt returns to the real clock.
void SetNow(std::optional<Clock::time_point> at);

// Local broken-down time of an instant.
std::tm LocalTime(Clock::time_point at);

// Sleeps the calling thread (real time, never the pinned clock).
void SleepMs(int ms);

}  // namespace tarvelin
