#include "db/connection_pool.h"

#include <algorithm>
#include <utility>

namespace tarvelin {

namespace {
// More threads than this rarely touch the database at the same moment; the
// rest open their own connection and close it afterwards.
constexpr std::size_t kMaxIdle = 16;
}  // namespace

ConnectionPool& ConnectionPool::Process() {
  static ConnectionPool pool;
  return pool;
}

std::unique_ptr<KeptConnection> ConnectionPool::Take(const std::string& path, int mode) {
  DatabaseFile now;
  const bool present = IdentifyDatabaseFile(path, now);
  std::vector<std::unique_ptr<KeptConnection>> stale;  // closed outside the lock
  std::unique_ptr<KeptConnection> found;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& kept : idle_) {
      if (kept->File().path != path) continue;
      if (!present || !(kept->File() == now))
        stale.push_back(std::move(kept));
      else if (!found && kept->Mode() == mode)
        found = std::move(kept);
    }
    idle_.erase(std::remove(idle_.begin(), idle_.end(), nullptr), idle_.end());
  }
  return found;
}

void ConnectionPool::Give(std::unique_ptr<KeptConnection> connection) {
  if (!connection || !connection->Idle()) return;
  DatabaseFile now;
  if (!IdentifyDatabaseFile(connection->File().path, now) || !(now == connection->File())) return;
  connection->Clean();
  std::unique_ptr<KeptConnection> oldest;  // closed outside the lock
  std::lock_guard<std::mutex> lock(mutex_);
  if (idle_.size() >= kMaxIdle) {
    oldest = std::move(idle_.front());
    idle_.erase(idle_.begin());
  }
  idle_.push_back(std::move(connection));
}

}  // namespace tarvelin
