#include "db/sqldb.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <chrono>
#include <optional>
#include <utility>

#include "db/connection_pool.h"
#include "db/kept_connection.h"
#include "db/postgres_connection.h"
#include "db/sqlquote.h"
#include "db/storage_location.h"
#include "platform/clock.h"
#include "service/log.h"

namespace tarvelin {

static_assert(SQLdb::ReadOnly == SQLITE_OPEN_READONLY);
static_assert(SQLdb::ReadWrite == SQLITE_OPEN_READWRITE);

namespace {
constexpr int kBusyRetries = 4;
constexpr int kBusySleepMs = 1000;
constexpr int kQueryBusyTimeoutMs = 1000;
// A failover (a standby promoted, the connection string leading to it) takes
// seconds; an operation waits this long for a server to take it.
constexpr int kReconnectForMs = 30000;
// The one lock every writer on a PostgreSQL database takes for the length of
// its transaction, whichever server it runs in ("TARVELIN" in ASCII).
constexpr const char* kWriteLock = "SELECT pg_advisory_xact_lock(6071277446066849102)";

long long MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Takes SQLite's allocated message (may be null) and frees it.
std::string TakeMessage(char* message) {
  std::string text = message ? message : "";
  sqlite3_free(message);
  return text;
}
}  // namespace

std::string DatabasePath(const std::string& name) {
  return CurrentStorage().databaseFolder + name + ".db";
}

SQLdb::SQLdb(const std::string& name, int openMode) : IsOpen(true), Name(name) {
  const StorageLocation storage = CurrentStorage();
  if (storage.OnPostgres())
    OpenPostgres(storage.postgres, openMode);
  else
    Open(storage.databaseFolder + name + ".db", openMode);
}

SQLdb::SQLdb(const DatabaseAt& file, int openMode) : IsOpen(true), keep_(false) { Open(file.path, openMode); }

SQLdb::SQLdb(const PostgresAt& server, int openMode) : IsOpen(true), keep_(false) {
  OpenPostgres(server.conninfo, openMode);
}

void SQLdb::Open(const std::string& path, int openMode) {
  // Only the two access flags pass: the service must never create the file.
  const int mode = openMode & (SQLITE_OPEN_READONLY | SQLITE_OPEN_READWRITE);
  if (keep_) {
    DatabaseFile now;
    const bool present = IdentifyDatabaseFile(path, now);
    connection_.reset(static_cast<KeptConnection*>(
        ConnectionPool::Process()
            .Take(path, present ? std::optional<std::string>(now.Identity()) : std::nullopt, mode)
            .release()));
  }
  if (connection_) {
    Handle = connection_->Handle();
    return;
  }
  // A connection belongs to one thread at a time, so SQLite need not lock it
  // on every call (a worklist row is some forty column reads).
  ResultCode = sqlite3_open_v2(path.c_str(), &Handle, mode | SQLITE_OPEN_NOMUTEX, nullptr);
  if (ResultCode != SQLITE_OK) {
    ErrorText = Handle ? sqlite3_errmsg(Handle) : sqlite3_errstr(ResultCode);
    WriteLog("ERROR, SQLdb(), " + ErrorText);
    sqlite3_close(Handle);
    Handle = nullptr;
    IsOpen = false;
    return;
  }
  char* message = nullptr;
  if (sqlite3_exec(Handle, "PRAGMA temp_store = MEMORY", nullptr, nullptr, &message) != SQLITE_OK)
    WriteLog("WARNING, Setting temp_store to MEMORY, " + TakeMessage(message));
  else
    sqlite3_free(message);
  // Identified after opening: a file replaced in between is then never kept.
  DatabaseFile file;
  if (!IdentifyDatabaseFile(path, file)) file.path = path;
  connection_ = std::make_unique<KeptConnection>(Handle, mode, std::move(file));
}

void SQLdb::OpenPostgres(const std::string& conninfo, int openMode) {
  engine_ = SqlEngine::PostgreSQL;
  const int mode = openMode & (ReadOnly | ReadWrite);
  // A connection kept while the server restarted or failed over is closed
  // already; it is dropped here rather than fail the first statement.
  for (auto kept = keep_ ? ConnectionPool::Process().Take(conninfo, std::string(), mode) : nullptr; kept;
       kept = ConnectionPool::Process().Take(conninfo, std::string(), mode)) {
    postgres_.reset(static_cast<PostgresConnection*>(kept.release()));
    if (postgres_->StillConnected()) return;
    postgres_.reset();
  }
  const long long until = MonotonicMs() + kReconnectForMs;
  for (bool logged = false;; logged = true) {
    postgres_ = PostgresConnection::Open(conninfo, mode, ErrorText);
    if (postgres_) return;
    // A server down, starting, or not yet promoted is worth waiting for; a
    // refused login, a missing database or one of the wrong kind stays so.
    const bool lasting = ErrorText.find("authentication") != std::string::npos ||
                         ErrorText.find("does not exist") != std::string::npos ||
                         ErrorText.find("pg_hba.conf") != std::string::npos ||
                         ErrorText.find("invalid") != std::string::npos ||
                         ErrorText.find("Tarvelin needs") != std::string::npos;
    if (lasting || MonotonicMs() >= until) break;
    if (!logged) WriteLog("WARNING, SQLdb(), PostgreSQL cannot be reached, trying again: " + ErrorText);
    SleepMs(500);
  }
  ResultCode = PostgresConnection::Lost;
  WriteLog("ERROR, SQLdb(), " + ErrorText);
  IsOpen = false;
}

SQLdb::~SQLdb() {
  if (!keep_) return;
  if (postgres_)
    ConnectionPool::Process().Give(std::move(postgres_), std::string());
  else if (connection_) {
    DatabaseFile now;
    ConnectionPool::Process().Give(std::move(connection_), IdentifyDatabaseFile(connection_->Where(), now)
                                                              ? std::optional<std::string>(now.Identity())
                                                              : std::nullopt);
  }
}

bool SQLdb::InTransaction() const {
  if (postgres_) return postgres_->InTransaction();
  return Handle && sqlite3_get_autocommit(Handle) == 0;
}

bool SQLdb::TakeInterruption() { return std::exchange(interrupted_, false); }

int SQLdb::ChangedRows() const {
  if (postgres_) return postgres_->ChangedRows();
  return Handle ? sqlite3_changes(Handle) : 0;
}

int SQLdb::OnPostgres(bool mayRepeat, const std::function<int()>& once) {
  const bool inTransaction = postgres_->InTransaction();
  const long long until = MonotonicMs() + kReconnectForMs;
  for (;;) {
    ResultCode = once();
    if (ResultCode == PostgresConnection::Lost || ResultCode == PostgresConnection::Busy) interrupted_ = true;
    // Inside a transaction the work before this statement went with the
    // connection: only the caller can redo it.
    if (ResultCode != PostgresConnection::Lost || !mayRepeat || inTransaction) return ResultCode;
    WriteLog("WARNING, SQLdb, the PostgreSQL connection was lost (" + ErrorText + "), connecting again");
    std::string why;
    while (!postgres_->Reconnect(why)) {
      if (MonotonicMs() >= until) {
        WriteLog("ERROR, SQLdb, PostgreSQL cannot be reached: " + why);
        return ResultCode;
      }
      SleepMs(500);
    }
  }
}

void SQLdb::WaitForLock() {
  // Writers meeting each other hold the lock for milliseconds: SQLite's own
  // short waits settle that, and the one-second retries are left for a lock
  // held long (a backup, a stuck process).
  if (!waitSet_ && Handle) sqlite3_busy_timeout(Handle, kQueryBusyTimeoutMs);
  waitSet_ = true;
}

void SQLdb::WaitWhenBusy(int ms) {
  waitSet_ = true;
  if (Handle) sqlite3_busy_timeout(Handle, ms);
}

int SQLdb::BeginWrite() {
  if (!postgres_) return Exec("BEGIN IMMEDIATE");
  if (Exec("BEGIN") != SQLITE_OK) return ResultCode;
  // Waited for like SQLite's write lock: lock_timeout, then Exec's retries.
  // A connection lost before the lock was granted had done nothing but the
  // BEGIN, so the transaction starts again, and Exec follows a failover to
  // the promoted server.
  for (int busyCount = 0, lostCount = 0;;) {
    PgResult result;
    ResultCode = postgres_->RunText(kWriteLock, result, ErrorText);
    if (ResultCode == SQLITE_OK) return ResultCode;
    const std::string reason = ErrorText;
    PgResult ended;
    postgres_->RunText("ROLLBACK", ended, ErrorText);
    ErrorText = reason;
    if (ResultCode == PostgresConnection::Lost && ++lostCount < kBusyRetries) {
      WriteLog("WARNING, SQLdb, the PostgreSQL connection was lost (" + reason + ") before the write lock, beginning again");
    } else {
      if (ResultCode != SQLITE_BUSY || ++busyCount >= kBusyRetries) break;
      WriteLog("WARNING, SQldb::Exec, SQLITE_BUSY: sleeping for a while...");
      SleepMs(kBusySleepMs);
    }
    if (Exec("BEGIN") != SQLITE_OK) return ResultCode;
  }
  WriteLog("ERROR, SQldb::Exec, command: BEGIN (the write lock), " + ErrorText);
  return ResultCode;
}

int SQLdb::Exec(const std::string& sql, const std::vector<std::string>& secrets) {
  if (!IsOpen) return ResultCode = SQLITE_ERROR;
  WaitForLock();
  int busyCount = 0;
  for (;;) {
    if (postgres_) {
      PgResult result;
      // Only a transaction's start is repeated on another connection: a
      // statement that ran may have been kept.
      OnPostgres(sql == "BEGIN", [&] { return postgres_->RunText(sql, result, ErrorText); });
    } else {
      char* message = nullptr;
      ResultCode = sqlite3_exec(Handle, sql.c_str(), nullptr, nullptr, &message);
      if (ResultCode != SQLITE_OK) ErrorText = TakeMessage(message);
    }
    if (ResultCode == SQLITE_OK) break;
    if (ResultCode == SQLITE_BUSY) {
      WriteLog("WARNING, SQldb::Exec, SQLITE_BUSY: sleeping for a while...");
      SleepMs(kBusySleepMs);
      if (++busyCount < kBusyRetries) continue;
      WriteLog("ERROR, SQldb::Exec, SQLITE_BUSY: time_out reached (20 sec), command: " + WithSecretsHidden(sql, secrets));
      break;
    }
    WriteLog("ERROR, SQldb::Exec, command: " + WithSecretsHidden(sql, secrets) + ", " + ErrorText);
    break;
  }
  return ResultCode;
}

sqlite3_stmt* SQLdb::Bound(const SqlStatement& statement, std::string& failedCall) {
  sqlite3_stmt* prepared = connection_->Prepared(statement.Text, ResultCode);
  if (ResultCode != SQLITE_OK) {
    ErrorText = sqlite3_errmsg(Handle);
    failedCall = "sqlite3_prepare_v2";
    return nullptr;
  }
  if (!prepared) return nullptr;  // blank text or only a comment
  for (std::size_t i = 0; i < statement.Values.size() && ResultCode == SQLITE_OK; ++i) {
    const std::string& value = statement.Values[i];
    ResultCode = sqlite3_bind_text(prepared, static_cast<int>(i + 1), value.data(), static_cast<int>(value.size()),
                                   SQLITE_STATIC);
  }
  if (ResultCode == SQLITE_OK && sqlite3_bind_parameter_count(prepared) != static_cast<int>(statement.Values.size()))
    ResultCode = SQLITE_RANGE;
  if (ResultCode != SQLITE_OK) {
    ErrorText = ResultCode == SQLITE_RANGE ? "values do not match the statement's parameters" : sqlite3_errmsg(Handle);
    failedCall = "sqlite3_bind";
    sqlite3_clear_bindings(prepared);
    return nullptr;
  }
  return prepared;
}

int SQLdb::SelectPostgres(const SqlStatement& query, const std::function<void(const pg_result*)>& onRows) {
  RowCount = 0;
  ColumnCount = 0;
  if (!IsOpen) return ResultCode = SQLITE_ERROR;
  PgResult result;
  OnPostgres(true, [&] { return postgres_->Run(query, result, ErrorText); });
  if (ResultCode != SQLITE_OK) {
    WriteLog("ERROR, SQLdb::Query, " + ErrorText);
    return ResultCode;
  }
  ColumnCount = PQnfields(result.get());
  onRows(result.get());
  RowCount = PQntuples(result.get());
  return ResultCode;
}

int SQLdb::Select(const SqlStatement& query, const std::function<void(sqlite3_stmt*)>& onRow) {
  RowCount = 0;
  ColumnCount = 0;
  if (!IsOpen) return ResultCode = SQLITE_ERROR;
  WaitForLock();
  std::string failedCall;
  sqlite3_stmt* statement = Bound(query, failedCall);
  if (!statement) {
    if (ResultCode != SQLITE_OK) WriteLog("ERROR, SQLdb::Query, " + failedCall + ", " + ErrorText);
    return ResultCode;
  }
  ColumnCount = sqlite3_column_count(statement);
  for (;;) {
    const int step = sqlite3_step(statement);
    if (step == SQLITE_ROW) {
      // A schema change by another connection re-prepares the statement
      // inside the first step, which may change its columns.
      if (RowCount == 0) ColumnCount = sqlite3_column_count(statement);
      onRow(statement);
      ++RowCount;
      continue;
    }
    if (step == SQLITE_DONE) {
      ResultCode = SQLITE_OK;
    } else {
      ResultCode = step;
      ErrorText = sqlite3_errmsg(Handle);
      WriteLog("ERROR, SQLdb::Query, sqlite3_step, " + ErrorText);
    }
    break;
  }
  // Reset ends the read, so the kept statement holds no lock between uses;
  // the values bound are the caller's and must not outlive this call.
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
  if (ResultCode != SQLITE_OK) connection_->Forget(query.Text);
  return ResultCode;
}

int SQLdb::Exec(const SqlStatement& write, const std::vector<std::string>& secrets) {
  if (!IsOpen) return ResultCode = SQLITE_ERROR;
  WaitForLock();
  int busyCount = 0;
  for (;;) {
    if (postgres_) {
      PgResult result;
      OnPostgres(false, [&] { return postgres_->Run(write, result, ErrorText); });
      if (ResultCode == SQLITE_OK) break;
      // A failed statement spoils the transaction it runs in: repeating it
      // there could never succeed.
      if (ResultCode == SQLITE_BUSY && !InTransaction()) {
        WriteLog("WARNING, SQldb::Exec, SQLITE_BUSY: sleeping for a while...");
        SleepMs(kBusySleepMs);
        if (++busyCount < kBusyRetries) continue;
      }
      WriteLog("ERROR, SQldb::Exec, command: " + WithSecretsHidden(write.Logged(), secrets) + ", " + ErrorText);
      break;
    }
    std::string failedCall;
    sqlite3_stmt* statement = Bound(write, failedCall);
    if (statement) {
      ResultCode = sqlite3_step(statement);
      if (ResultCode == SQLITE_DONE || ResultCode == SQLITE_ROW) ResultCode = SQLITE_OK;
      if (ResultCode != SQLITE_OK) ErrorText = sqlite3_errmsg(Handle);
      sqlite3_reset(statement);
      sqlite3_clear_bindings(statement);
    }
    if (ResultCode == SQLITE_OK) break;
    connection_->Forget(write.Text);
    if (ResultCode == SQLITE_BUSY) {
      WriteLog("WARNING, SQldb::Exec, SQLITE_BUSY: sleeping for a while...");
      SleepMs(kBusySleepMs);
      if (++busyCount < kBusyRetries) continue;
      WriteLog("ERROR, SQldb::Exec, SQLITE_BUSY: time_out reached (20 sec), command: " +
               WithSecretsHidden(write.Logged(), secrets));
      break;
    }
    WriteLog("ERROR, SQldb::Exec, command: " + WithSecretsHidden(write.Logged(), secrets) + ", " + ErrorText);
    break;
  }
  return ResultCode;
}

int SQLdb::Query(const std::string& sql, std::vector<std::string>& rows) { return Query(SqlStatement{sql, {}}, rows); }

int SQLdb::QueryValues(const std::string& sql, TextRows& rows) { return QueryValues(SqlStatement{sql, {}}, rows); }

int SQLdb::Query(const SqlStatement& sql, std::vector<std::string>& rows) {
  if (postgres_)
    return SelectPostgres(sql, [&](const pg_result* result) {
      for (int row = 0; row < PQntuples(result); ++row) {
        std::string line;
        for (int column = 0; column < PQnfields(result); ++column) {
          const char* text = PQgetvalue(result, row, column);
          for (const char* c = text; *c; ++c) line += *c == ';' ? ':' : *c;
          line += ';';
        }
        rows.push_back(std::move(line));
      }
    });
  return Select(sql, [&](sqlite3_stmt* statement) {
    std::string line;
    for (int column = 0; column < ColumnCount; ++column) {
      const auto* text = sqlite3_column_text(statement, column);
      const int length = sqlite3_column_bytes(statement, column);
      if (text) {
        // A ";" inside a value would shift every later field of the line.
        for (int i = 0; i < length; ++i) line += text[i] == ';' ? ':' : static_cast<char>(text[i]);
      }
      line += ';';
    }
    rows.push_back(std::move(line));
  });
}

int SQLdb::QueryValues(const SqlStatement& sql, TextRows& rows) {
  rows.Reset(0);
  if (postgres_)
    return SelectPostgres(sql, [&](const pg_result* result) {
      rows.Reset(static_cast<std::size_t>(PQnfields(result)));
      for (int row = 0; row < PQntuples(result); ++row)
        for (int column = 0; column < PQnfields(result); ++column)
          rows.Add(std::string_view(PQgetvalue(result, row, column),
                                    static_cast<std::size_t>(PQgetlength(result, row, column))));
    });
  return Select(sql, [&](sqlite3_stmt* statement) {
    if (RowCount == 0) rows.Reset(static_cast<std::size_t>(ColumnCount));
    for (int column = 0; column < ColumnCount; ++column) {
      // Read through the column's value object: half the calls of
      // sqlite3_column_text plus sqlite3_column_bytes, which counts at
      // thousands of rows. Unprotected values are fine here because a
      // connection is only ever used by one thread.
      sqlite3_value* value = sqlite3_column_value(statement, column);
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
      rows.Add(text ? std::string_view(text, static_cast<std::size_t>(sqlite3_value_bytes(value)))
                    : std::string_view());
    }
  });
}

}  // namespace tarvelin
