#pragma once
// The few slots in which password hashes are verified. A verification costs
// tens of milliseconds of CPU and 64 MiB by design, so only `slots` run at
// once; the others wait, and they are served fairly between clients rather
// than first come first served: each waiting check gets a turn number one
// past its client's previous turn (or past the turn now being served, when
// that is later), and the lowest number goes next (equal numbers in arrival
// order). A client that sends 64
// guesses at once so waits behind its own guesses, and another client's
// login is served after at most one of them. Any thread may call.
#include <condition_variable>
#include <cstdint>
#include <map>
#include <set>
#include <mutex>
#include <string>

namespace tarvelin {

class PasswordCheckSlots {
 public:
  explicit PasswordCheckSlots(int slots) : slots_(slots < 1 ? 1 : slots) {}

  // Holds a slot for `client` (its address) while it lives.
  class Held {
   public:
    Held(PasswordCheckSlots& slots, const std::string& client);
    ~Held();
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

   private:
    PasswordCheckSlots& slots_;
  };

  // Checks waiting for a slot now (for tests and the log).
  int Waiting();

 private:
  using Ticket = std::pair<std::uint64_t, std::uint64_t>;  // turn number, arrival
  Ticket TakeTicket(const std::string& client);

  const int slots_;
  std::mutex lock_;
  std::condition_variable turnOver_;
  int running_ = 0;
  std::uint64_t served_ = 0;                       // the turn number served last
  std::uint64_t arrivals_ = 0;
  std::set<Ticket> waiting_;
  std::map<std::string, std::uint64_t> lastTurn_;  // a client's latest turn number
};

// The web server's slots: as many as the machine has cores, at most four.
PasswordCheckSlots& WebPasswordCheckSlots();

}  // namespace tarvelin
