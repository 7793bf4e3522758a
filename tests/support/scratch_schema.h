#pragma once
// A schema of its own on the test run's PostgreSQL server, dropped at the end,
// for tests that need PostgreSQL itself (locks, sequences) whatever backend
// the run tests.
#include <string>

namespace tarvelin {

class ScratchSchema {
 public:
  // Makes a schema with a fresh name on the server TARVELIN_TEST_POSTGRES
  // names, else on the one the CTest run started (fixture "postgresql").
  ScratchSchema();
  ~ScratchSchema();
  ScratchSchema(const ScratchSchema&) = delete;
  ScratchSchema& operator=(const ScratchSchema&) = delete;

  // False when there is no server to use (the program run by hand, without
  // TARVELIN_TEST_POSTGRES): the test is then skipped.
  bool Named() const { return !server_.empty(); }
  // "" when the schema is ready, else why not.
  const std::string& Problem() const { return problem_; }
  // A connection string whose search_path is the schema. Its connections
  // carry the schema's name as application_name, so that a test finds its
  // own among those of the tests running beside it.
  const std::string& Conninfo() const { return conninfo_; }
  const std::string& Name() const { return name_; }
  // The server's own string (no schema).
  const std::string& Server() const { return server_; }

 private:
  std::string server_;
  std::string name_;
  std::string conninfo_;
  std::string problem_;
};

}  // namespace tarvelin
