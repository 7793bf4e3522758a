#include "service/node_number.h"

#include <atomic>

namespace tarvelin {

namespace {
std::atomic<int> node{0};
}  // namespace

int NodeNumber() { return node.load(std::memory_order_relaxed); }

void SetNodeNumber(int number) { node.store(number < 0 ? 0 : number, std::memory_order_relaxed); }

}  // namespace tarvelin
