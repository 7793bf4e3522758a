#include "net/identifier.h"

#include <atomic>

namespace tarvelin {

namespace {
std::atomic<std::uint32_t> counter{1};
}  // namespace

std::uint32_t NextOddIdentifier() {
  std::uint32_t current = counter.load();
  for (;;) {
    std::uint32_t taken = current | 1u;  // an even counter is raised to odd first
    if (counter.compare_exchange_weak(current, taken + 1)) return taken;
  }
}

void ResetIdentifierCounter() { counter.store(1); }

}  // namespace tarvelin
