#include <sys/random.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>

#include "dicom/uid.h"
#include "platform/clock.h"
#include "service/node_number.h"
#include "service/settings.h"

namespace tarvelin {

std::string UIDRoot() {
  return ServerSettings.UIDRoot.empty() ? DefaultUIDRoot : ServerSettings.UIDRoot;
}

std::string ImplementationClassUID() { return UIDRoot() + ".999"; }

std::string UniqueUID(const std::string& prefix) {
  // Strictly increasing within the process, even when the clock is pinned or
  // steps back: two calls never share the count.
  static std::atomic<std::uint64_t> last{0};
  const auto now = std::chrono::duration_cast<std::chrono::microseconds>(Now().time_since_epoch()).count();
  std::uint64_t count = last.load();
  std::uint64_t next;
  do {
    next = std::max<std::uint64_t>(static_cast<std::uint64_t>(now), count + 1);
  } while (!last.compare_exchange_weak(count, next));
  // Another process (a restart within the same microsecond, a server on
  // other data) differs here.
  static const std::string processPart = [] {
    std::uint64_t random = 0;
    if (getrandom(&random, sizeof random, 0) != sizeof random) random = std::random_device{}();
    return std::to_string(random == 0 ? 1 : random);
  }();
  // Servers sharing one database differ by their node numbers, even when a
  // long root leaves little of the random part.
  const int node = NodeNumber();
  const std::string head =
      UIDRoot() + "." + prefix + "." + std::to_string(next) + (node > 0 ? "." + std::to_string(node) : "");
  if (head.size() + 2 > 64) return head.substr(0, 64);
  return head + "." + processPart.substr(0, 64 - head.size() - 1);
}

std::string NewStudyUID() { return UniqueUID("1"); }

}  // namespace tarvelin
