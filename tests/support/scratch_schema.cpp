#include "support/scratch_schema.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>

#include "db/side_connection.h"

namespace tarvelin {

namespace {
// TARVELIN_TEST_POSTGRES, else what the CTest run's server start wrote.
std::string TestServer() {
  if (const char* named = std::getenv("TARVELIN_TEST_POSTGRES"); named && *named) return named;
  std::string line;
  std::getline(std::ifstream(std::string(TARVELIN_POSTGRES_TEST_STATE) + "/conninfo"), line);
  return line;
}
}  // namespace

ScratchSchema::ScratchSchema() : server_(TestServer()) {
  if (server_.empty()) {
    problem_ = "no PostgreSQL server for tests: TARVELIN_TEST_POSTGRES is unset and ctest started none";
    return;
  }
  static std::atomic<int> made{0};
  name_ = "scratch_" + std::to_string(getpid()) + "_" + std::to_string(++made) + "_" +
          std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
  SideConnection session;
  std::string error;
  if (!session.Open(server_, error) || !session.Value("CREATE SCHEMA " + name_, {}, error)) {
    problem_ = "cannot make a schema: " + error;
    return;
  }
  conninfo_ = server_ + " options='-c search_path=" + name_ + "' application_name=" + name_;
}

ScratchSchema::~ScratchSchema() {
  if (conninfo_.empty()) return;
  SideConnection session;
  std::string error;
  if (session.Open(server_, error)) session.Value("DROP SCHEMA " + name_ + " CASCADE", {}, error);
}

}  // namespace tarvelin
