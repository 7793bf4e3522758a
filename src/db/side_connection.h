#pragma once
// A PostgreSQL connection of its own, beside the process's pool, for the few
// things that belong to one session of this server: an advisory lock that
// must last as long as the session, a number taken once at start. Used by
// one thread at a time.
#include <optional>
#include <string>
#include <vector>

struct pg_conn;

namespace tarvelin {

class SideConnection {
 public:
  SideConnection() = default;
  // Closing ends the session, and with it every lock the session holds.
  ~SideConnection();
  SideConnection(const SideConnection&) = delete;
  SideConnection& operator=(const SideConnection&) = delete;

  // Connects with `conninfo` (libpq's connection string), closing an earlier
  // session first. A server that does not answer costs at most about ten
  // seconds unless the string sets its own connect_timeout, and a session
  // whose server vanished without a word is noticed within about half a
  // minute. False, with `error` saying why, when no session came of it.
  bool Open(const std::string& conninfo, std::string& error);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }

  // Runs `sql` with `values` bound to $1, $2…; the first column of the first
  // row ("" for NULL, no row, or a statement that returns none). Nothing,
  // with `error` saying why, when the statement failed or the session is gone.
  std::optional<std::string> Value(const std::string& sql, const std::vector<std::string>& values,
                                   std::string& error);

 private:
  pg_conn* handle_ = nullptr;
};

}  // namespace tarvelin
