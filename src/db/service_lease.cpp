#include "db/service_lease.h"

#include <cstdint>

#include "db/storage_location.h"
#include "service/log.h"

namespace tarvelin {

namespace {
// The first lock key of each duty ("TRV" and a number). The two-key form of
// the advisory lock keeps these apart from any single-key lock.
int DutyKey(Duty duty) { return duty == Duty::Housekeeping ? 0x54525601 : 0x54525602; }

std::string What(Duty duty) { return duty == Duty::Housekeeping ? "housekeeping" : "the drop-folder scan"; }

// The second lock key: advisory locks belong to the whole database, and two
// instances may keep their data in two schemas of it. FNV-1a of the name.
std::string SchemaKey(const std::string& schema) {
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : schema) hash = (hash ^ c) * 16777619u;
  return std::to_string(static_cast<std::int32_t>(hash));
}
}  // namespace

ServiceLease::ServiceLease(Duty duty) : duty_(duty) {}

bool ServiceLease::Held() {
  const std::string conninfo = CurrentStorage().postgres;
  if (conninfo.empty()) {
    session_.Close();
    state_ = State::Unknown;
    return true;
  }
  if (conninfo != conninfo_) session_.Close();
  std::string error;
  if (state_ == State::Holder && session_.IsOpen()) {
    // The lock lasts as long as the session: a live session still holds it.
    if (session_.Value("SELECT 1", {}, error)) return true;
    WriteLog("WARNING, HOUSEKEEPING, the database session that held " + What(duty_) + " ended, " + error +
             "; another server may take it over");
    session_.Close();
    state_ = State::Unknown;
  }
  State next = session_.IsOpen() ? Ask(error) : State::Unreachable;
  // A session that failed may only have been dropped: try a new one once.
  if (next == State::Unreachable) next = Connect(conninfo, error) ? Ask(error) : State::Unreachable;
  Become(next, error);
  return next == State::Holder;
}

bool ServiceLease::Connect(const std::string& conninfo, std::string& error) {
  if (!session_.Open(conninfo, error)) return false;
  const auto schema = session_.Value("SELECT current_schema()", {}, error);
  if (!schema) {
    session_.Close();
    return false;
  }
  conninfo_ = conninfo;
  schemaKey_ = SchemaKey(*schema);
  return true;
}

ServiceLease::State ServiceLease::Ask(std::string& error) {
  const auto taken = session_.Value("SELECT pg_try_advisory_lock(?::integer, ?::integer)",
                                    {std::to_string(DutyKey(duty_)), schemaKey_}, error);
  if (!taken) {
    session_.Close();
    return State::Unreachable;
  }
  return *taken == "t" ? State::Holder : State::Standby;
}

void ServiceLease::Become(State state, const std::string& reason) {
  if (state == state_) return;
  state_ = state;
  switch (state) {
    case State::Holder:
      WriteLog("INFO, HOUSEKEEPING, this server runs " + What(duty_) + " now");
      break;
    case State::Standby:
      WriteLog("INFO, HOUSEKEEPING, another server runs " + What(duty_) + ", this one stands by");
      break;
    case State::Unreachable:
      WriteLog("WARNING, HOUSEKEEPING, " + What(duty_) + " waits here: the database cannot be reached, " + reason);
      break;
    case State::Unknown:
      break;
  }
}

}  // namespace tarvelin
