#pragma once
// Which of several servers on one database runs a duty that must run in one
// place only (the ageing pass, the drop-folder scan). On PostgreSQL the
// holder is the server whose session holds a session-level advisory lock,
// on a connection of the lease's own: when the holder stops or dies, its
// session ends, the lock goes with it, and the next server that asks takes
// the duty. On SQLite the one machine always holds it.
#include <string>

#include "db/side_connection.h"

namespace tarvelin {

// Each duty has a lock key of its own, so two servers may share the work.
enum class Duty { Housekeeping, DropFolderScan };

class ServiceLease {
 public:
  explicit ServiceLease(Duty duty);
  // Ends the session: the duty passes to another server at once.
  ~ServiceLease() = default;
  ServiceLease(const ServiceLease&) = delete;
  ServiceLease& operator=(const ServiceLease&) = delete;

  // Whether this server is to run the duty now; asked before each pass. On
  // PostgreSQL it connects when it has no session (or lost it), takes the
  // lock when no other session holds it, and checks that the session of a
  // lock it holds is still alive. No session to be had means "not the
  // holder". Logs one line when the answer changes, not at every pass.
  // Called by one thread.
  bool Held();

 private:
  enum class State { Unknown, Holder, Standby, Unreachable };
  // Opens a new session on `conninfo`; false with `error`.
  bool Connect(const std::string& conninfo, std::string& error);
  // Asks for the lock on the current session: Holder, Standby, or
  // Unreachable (the session is then closed) with `error`.
  State Ask(std::string& error);
  void Become(State state, const std::string& reason);

  Duty duty_;
  State state_ = State::Unknown;
  SideConnection session_;
  std::string conninfo_;  // of the open session
  std::string schemaKey_;  // the second lock key: this schema's
};

}  // namespace tarvelin
