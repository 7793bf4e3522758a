// Which successful web logins begin a session (and so reach the audit
// trail), at fixed instants: the quiet time, failures and log-outs, and the
// bound on remembered user/address pairs.
#include "web/login_sessions.h"

#include <gtest/gtest.h>

namespace tarvelin {

namespace {
using std::chrono::minutes;

TEST(LoginSessions, ASessionBeginsAfterQuietFailureOrLogOut) {
  enum Step { Success, Failure, LogOut };
  const struct {
    Step step;
    const char* user;
    const char* address;
    int minute;   // since the start
    bool begins;  // for Success: a session begins
  } steps[] = {
      {Success, "anna", "10.0.0.1", 0, true},   {Success, "anna", "10.0.0.1", 1, false},
      {Success, "anna", "10.0.0.1", 15, false}, // 14 minutes after the last request
      {Success, "anna", "10.0.0.2", 16, true},  {Success, "bob", "10.0.0.1", 16, true},
      {Success, "anna", "10.0.0.2", 30, false}, {Success, "anna", "10.0.0.1", 31, true},  // quiet for 16 minutes
      {Failure, "", "10.0.0.1", 32, false},     // any name tried from there
      {Success, "anna", "10.0.0.1", 32, true},  {Success, "bob", "10.0.0.1", 32, true},
      {Success, "anna", "10.0.0.2", 32, false}, {LogOut, "anna", "", 33, false},
      {Success, "anna", "10.0.0.2", 33, true},  {Success, "bob", "10.0.0.1", 33, false},
  };
  LoginSessions sessions;
  const auto start = LoginSessions::Clock::time_point{} + std::chrono::hours(1000);
  int i = 0;
  for (const auto& s : steps) {
    const auto now = start + minutes(s.minute);
    if (s.step == Failure) sessions.Failed(s.address);
    if (s.step == LogOut) sessions.LoggedOut(s.user);
    if (s.step == Success) {
      EXPECT_EQ(sessions.Succeeded(s.user, s.address, now), s.begins) << "step " << i;
    }
    ++i;
  }
}

// When full, the quietest pair is forgotten first; the others stay known.
TEST(LoginSessions, RemembersAtMostItsBoundOfPairs) {
  LoginSessions sessions(minutes(15), 3);
  const auto start = LoginSessions::Clock::time_point{} + std::chrono::hours(1000);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(sessions.Succeeded("u", "a" + std::to_string(i), start + minutes(i)));
  EXPECT_FALSE(sessions.Succeeded("u", "a0", start + minutes(3)));  // a1 is now the quietest
  EXPECT_TRUE(sessions.Succeeded("u", "a3", start + minutes(4)));   // a1 goes
  EXPECT_FALSE(sessions.Succeeded("u", "a0", start + minutes(5)));
  EXPECT_FALSE(sessions.Succeeded("u", "a2", start + minutes(5)));
  EXPECT_FALSE(sessions.Succeeded("u", "a3", start + minutes(5)));
  EXPECT_TRUE(sessions.Succeeded("u", "a1", start + minutes(6)));   // forgotten: a session again
}
}  // namespace

}  // namespace tarvelin
