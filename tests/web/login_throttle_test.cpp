// Failed-login throttling at fixed instants: the free attempts, the doubling
// waits, the lock's upper bound and its end, per address and per user name.
#include "web/login_throttle.h"

#include <gtest/gtest.h>

namespace tarvelin {

namespace {
using std::chrono::seconds;

TEST(LoginThrottle, WaitsDoubleAfterTheFreeFailuresAndEndByThemselves) {
  LoginThrottle throttle;
  const auto start = LoginThrottle::Clock::time_point{} + std::chrono::hours(1000);
  const struct {
    int failures;       // wrong passwords from 10.0.0.1 as "admin", one second apart
    long long wait;     // then: seconds before the next attempt, at the last failure
  } cases[] = {{4, 0}, {5, 1}, {6, 2}, {10, 32}, {15, 900}, {30, 900}};
  for (const auto& c : cases) {
    LoginThrottle fresh;
    auto at = start;
    for (int i = 0; i < c.failures; ++i, at += seconds(1)) fresh.Failed("10.0.0.1", "admin", at);
    const auto last = at - seconds(1);
    EXPECT_EQ(fresh.WaitSeconds("10.0.0.1", "admin", last), c.wait) << c.failures;
    // The same wait holds for that address under any name, and for that name from any address.
    EXPECT_EQ(fresh.WaitSeconds("10.0.0.1", "other", last), c.wait) << c.failures;
    EXPECT_EQ(fresh.WaitSeconds("10.0.0.9", "admin", last), c.wait) << c.failures;
    EXPECT_EQ(fresh.WaitSeconds("10.0.0.9", "other", last), 0) << c.failures;
    EXPECT_EQ(fresh.WaitSeconds("10.0.0.1", "admin", last + seconds(c.wait)), 0) << c.failures;  // over by itself
  }

  // A success clears both counts.
  for (int i = 0; i < 7; ++i) throttle.Failed("10.0.0.2", "anna", start);
  EXPECT_GT(throttle.WaitSeconds("10.0.0.2", "anna", start), 0);
  throttle.Succeeded("10.0.0.2", "anna");
  EXPECT_EQ(throttle.WaitSeconds("10.0.0.2", "anna", start), 0);
  // Failures a day old count no more.
  for (int i = 0; i < 7; ++i) throttle.Failed("10.0.0.3", "bob", start);
  EXPECT_EQ(throttle.Failed("10.0.0.3", "bob", start + std::chrono::hours(25)), 1);
}
}  // namespace

}  // namespace tarvelin
