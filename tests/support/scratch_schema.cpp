#include "support/scratch_schema.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>

#include "db/side_connection.h"

namespace tarvelin {

ScratchSchema::ScratchSchema() {
  const char* server = std::getenv("TARVELIN_TEST_POSTGRES");
  if (!server || !*server) {
    problem_ = "TARVELIN_TEST_POSTGRES names no PostgreSQL server";
    return;
  }
  server_ = server;
  static std::atomic<int> made{0};
  name_ = "scratch_" + std::to_string(getpid()) + "_" + std::to_string(++made) + "_" +
          std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
  SideConnection session;
  std::string error;
  if (!session.Open(server_, error) || !session.Value("CREATE SCHEMA " + name_, {}, error)) {
    problem_ = "cannot make a schema: " + error;
    return;
  }
  conninfo_ = server_ + " options='-c search_path=" + name_ + "'";
}

ScratchSchema::~ScratchSchema() {
  if (conninfo_.empty()) return;
  SideConnection session;
  std::string error;
  if (session.Open(server_, error)) session.Value("DROP SCHEMA " + name_ + " CASCADE", {}, error);
}

}  // namespace tarvelin
