#include "web/sps_counter.h"

#include <atomic>

namespace tarvelin {

namespace {
std::atomic<int> spsCounter{0};
}  // namespace

int NextSpsCounter() {
  int current = spsCounter.load();
  int next;
  do {
    next = (current + 1) % 100;
  } while (!spsCounter.compare_exchange_weak(current, next));
  return next;
}

}  // namespace tarvelin
