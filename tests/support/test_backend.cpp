#include "support/test_backend.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdlib>

#include "db/schema.h"

namespace tarvelin {

namespace {

// The service database's file in a database folder.
std::string SqliteFile(const StorageLocation& location) { return location.databaseFolder + "quillat.db"; }

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

// A connection that closes itself.
struct PgConnection {
  // Notices (what a DROP ... CASCADE took with it) stay out of the test's output.
  explicit PgConnection(const std::string& conninfo) : handle(PQconnectdb(conninfo.c_str())) {
    PQsetNoticeProcessor(handle, [](void*, const char*) {}, nullptr);
  }
  ~PgConnection() { PQfinish(handle); }
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;
  bool Ok() const { return PQstatus(handle) == CONNECTION_OK; }
  std::string Error() const { return Trimmed(PQerrorMessage(handle)); }
  PGconn* handle;
};

RawResult RunOnPostgres(const std::string& conninfo, const std::string& sql) {
  RawResult result;
  PgConnection connection(conninfo);
  if (!connection.Ok()) {
    result.error = "cannot connect: " + connection.Error();
    return result;
  }
  PGresult* answer = PQexec(connection.handle, sql.c_str());
  const ExecStatusType status = PQresultStatus(answer);
  if (status == PGRES_TUPLES_OK) {
    for (int r = 0; r < PQntuples(answer); ++r) {
      auto& row = result.rows.emplace_back();
      for (int c = 0; c < PQnfields(answer); ++c)
        row.push_back(PQgetisnull(answer, r, c)
                          ? std::nullopt
                          : std::optional<std::string>(std::string(PQgetvalue(answer, r, c),
                                                                   PQgetlength(answer, r, c))));
    }
  } else if (status != PGRES_COMMAND_OK) {
    result.error = connection.Error();
  }
  PQclear(answer);
  return result;
}

RawResult RunOnSqlite(const std::string& path, const std::string& sql, bool write) {
  RawResult result;
  sqlite3* handle = nullptr;
  if (sqlite3_open_v2(path.c_str(), &handle, write ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY, nullptr) !=
      SQLITE_OK) {
    result.error = "cannot open " + path + ": " + sqlite3_errmsg(handle);
    sqlite3_close(handle);
    return result;
  }
  sqlite3_busy_timeout(handle, 5000);
  const char* next = sql.c_str();
  while (result.error.empty() && *next) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(handle, next, -1, &statement, &next) != SQLITE_OK) {
      result.error = sqlite3_errmsg(handle);
      break;
    }
    if (!statement) break;  // only white space or comments were left
    result.rows.clear();
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
      auto& row = result.rows.emplace_back();
      for (int c = 0; c < sqlite3_column_count(statement); ++c) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
        row.push_back(text ? std::optional<std::string>(std::string(text, sqlite3_column_bytes(statement, c)))
                           : std::nullopt);
      }
    }
    if (step != SQLITE_DONE) result.error = sqlite3_errmsg(handle);
    sqlite3_finalize(statement);
  }
  sqlite3_close(handle);
  return result;
}

}  // namespace

bool TestsOnPostgres() {
  const char* backend = std::getenv("TARVELIN_TEST_BACKEND");
  return backend && std::string(backend) == "postgresql";
}

TestSchema::TestSchema() {
  if (TestsOnPostgres()) scratch_ = std::make_unique<ScratchSchema>();
}

TestSchema::~TestSchema() = default;

const std::string& TestSchema::Problem() const {
  static const std::string none;
  return scratch_ ? scratch_->Problem() : none;
}

const std::string& TestSchema::ConnectionString() const {
  static const std::string none;
  return scratch_ ? scratch_->Conninfo() : none;
}

StorageLocation TestStorage(const std::string& home, const TestSchema& schema) {
  StorageLocation location = StorageLocation::OfInstance(home);
  location.postgres = schema.ConnectionString();
  return location;
}

std::string DatabaseSetting(const StorageLocation& location) {
  return location.OnPostgres() ? kPostgresPrefix + location.postgres : "";
}

bool CreateTestDatabase(const StorageLocation& location, std::string& error) {
  return location.OnPostgres() ? CreatePostgresSchema(location.postgres, error)
                               : CreateDatabase(SqliteFile(location), error);
}

std::string ReadOnlyRefusal(const std::string& verb) {
  return TestsOnPostgres() ? "cannot execute " + verb + " in a read-only transaction"
                           : "attempt to write a readonly database";
}

std::string TableNames(const StorageLocation& location) {
  const RawResult result = RunRawSql(
      location,
      location.OnPostgres()
          ? "SELECT lower(table_name) FROM information_schema.tables WHERE table_schema = current_schema() "
            "ORDER BY 1"
          : "SELECT lower(name) FROM sqlite_master WHERE type = 'table' ORDER BY 1",
      false);
  std::string names;
  for (const auto& row : result.rows) names += (names.empty() ? "" : ",") + row[0].value_or("");
  return names;
}

RawResult RunRawSql(const StorageLocation& location, const std::string& sql, bool write) {
  return location.OnPostgres() ? RunOnPostgres(location.postgres, sql)
                               : RunOnSqlite(SqliteFile(location), sql, write);
}

}  // namespace tarvelin
