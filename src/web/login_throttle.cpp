#include "web/login_throttle.h"

#include <algorithm>

namespace tarvelin {

namespace {
constexpr auto kForgetAfter = std::chrono::hours(24);
constexpr std::size_t kMaxRecords = 100000;

std::string AddressKey(const std::string& address) { return "a " + address; }
std::string UserKey(const std::string& user) { return "u " + user; }
}  // namespace

LoginThrottle::Clock::duration LoginThrottle::WaitAfter(int failures) {
  if (failures < kFreeFailures) return Clock::duration::zero();
  const int doublings = std::min(failures - kFreeFailures, 20);
  return std::min<Clock::duration>(std::chrono::seconds(1LL << doublings), kLongestWait);
}

long long LoginThrottle::WaitSeconds(const std::string& address, const std::string& user, Clock::time_point now) {
  std::lock_guard<std::mutex> guard(lock_);
  Clock::duration wait = Clock::duration::zero();
  for (const std::string& key : {AddressKey(address), UserKey(user)}) {
    const auto found = records_.find(key);
    if (found == records_.end()) continue;
    wait = std::max(wait, found->second.last + WaitAfter(found->second.failures) - now);
  }
  if (wait <= Clock::duration::zero()) return 0;
  return std::chrono::ceil<std::chrono::seconds>(wait).count();
}

int LoginThrottle::Failed(const std::string& address, const std::string& user, Clock::time_point now) {
  std::lock_guard<std::mutex> guard(lock_);
  if (records_.size() >= kMaxRecords) ForgetOld(now);
  int most = 0;
  for (const std::string& key : {AddressKey(address), UserKey(user)}) {
    Record& record = records_[key];
    if (record.failures > 0 && now - record.last > kForgetAfter) record.failures = 0;
    ++record.failures;
    record.last = now;
    most = std::max(most, record.failures);
  }
  return most;
}

void LoginThrottle::Succeeded(const std::string& address, const std::string& user) {
  std::lock_guard<std::mutex> guard(lock_);
  records_.erase(AddressKey(address));
  records_.erase(UserKey(user));
}

void LoginThrottle::ForgetOld(Clock::time_point now) {
  std::erase_if(records_, [&](const auto& r) { return now - r.second.last > WaitAfter(r.second.failures); });
  // Still full (a flood of addresses): start afresh rather than grow without bound.
  if (records_.size() >= kMaxRecords) records_.clear();
}

LoginThrottle& WebLoginThrottle() {
  static LoginThrottle throttle;
  return throttle;
}

}  // namespace tarvelin
