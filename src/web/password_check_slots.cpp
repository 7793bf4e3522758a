#include "web/password_check_slots.h"

#include <algorithm>
#include <thread>

namespace tarvelin {

PasswordCheckSlots::Ticket PasswordCheckSlots::TakeTicket(const std::string& client) {
  std::uint64_t& last = lastTurn_[client];
  last = std::max(last, served_) + 1;
  const Ticket ticket{last, ++arrivals_};
  // Turns at or before the one served are no longer needed to order anyone.
  std::erase_if(lastTurn_, [&](const auto& entry) { return entry.second <= served_; });
  return ticket;
}

PasswordCheckSlots::Held::Held(PasswordCheckSlots& slots, const std::string& client) : slots_(slots) {
  std::unique_lock<std::mutex> hold(slots_.lock_);
  const Ticket ticket = slots_.TakeTicket(client);
  slots_.waiting_.insert(ticket);
  slots_.turnOver_.wait(hold, [&] { return slots_.running_ < slots_.slots_ && *slots_.waiting_.begin() == ticket; });
  slots_.waiting_.erase(ticket);
  slots_.served_ = std::max(slots_.served_, ticket.first);
  ++slots_.running_;
  // Another slot may still be free for the next turn.
  slots_.turnOver_.notify_all();
}

PasswordCheckSlots::Held::~Held() {
  {
    std::lock_guard<std::mutex> hold(slots_.lock_);
    --slots_.running_;
  }
  slots_.turnOver_.notify_all();
}

int PasswordCheckSlots::Waiting() {
  std::lock_guard<std::mutex> hold(lock_);
  return static_cast<int>(waiting_.size());
}

PasswordCheckSlots& WebPasswordCheckSlots() {
  static PasswordCheckSlots slots(static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u)));
  return slots;
}

}  // namespace tarvelin
