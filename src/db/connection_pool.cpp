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

std::unique_ptr<PooledConnection> ConnectionPool::Take(const std::string& where,
                                                       const std::optional<std::string>& identityNow, int mode) {
  std::vector<std::unique_ptr<PooledConnection>> stale;  // closed outside the lock
  std::unique_ptr<PooledConnection> found;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& kept : idle_) {
      if (kept->Where() != where) continue;
      if (!identityNow || kept->Identity() != *identityNow)
        stale.push_back(std::move(kept));
      else if (!found && kept->Mode() == mode)
        found = std::move(kept);
    }
    idle_.erase(std::remove(idle_.begin(), idle_.end(), nullptr), idle_.end());
  }
  return found;
}

void ConnectionPool::Give(std::unique_ptr<PooledConnection> connection,
                          const std::optional<std::string>& identityNow) {
  if (!connection || !connection->Idle()) return;
  if (!identityNow || *identityNow != connection->Identity()) return;
  connection->Clean();
  std::unique_ptr<PooledConnection> oldest;  // closed outside the lock
  std::lock_guard<std::mutex> lock(mutex_);
  if (idle_.size() >= kMaxIdle) {
    oldest = std::move(idle_.front());
    idle_.erase(idle_.begin());
  }
  idle_.push_back(std::move(connection));
}

}  // namespace tarvelin
