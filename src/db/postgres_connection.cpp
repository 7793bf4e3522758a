#include "db/postgres_connection.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "db/sqldb.h"
#include "service/text.h"

namespace tarvelin {

namespace {
// Web searches page with texts of their own; past this many distinct texts a
// connection drops its prepared statements rather than keep every search.
constexpr std::size_t kMaxPrepared = 32;

// A write waits this long for the write lock (another server's transaction)
// before the statement reports Busy and the caller's retries take over. A
// connection opened read-only refuses writes, as a SQLite file opened so does.
const char* SessionSettings(int mode) {
  return mode == SQLdb::ReadOnly ? "SET lock_timeout = '5s'; SET default_transaction_read_only = on"
                                 : "SET lock_timeout = '5s'";
}

// libpq's message on one line: its own line breaks and indents become spaces.
std::string Trimmed(const char* message) {
  std::string text = TrimRight(message ? message : "");
  for (char& c : text)
    if (c == '\n' || c == '\t') c = ' ';
  return text;
}

pg_conn* Connect(const std::string& conninfo) {
  // Defaults first: the connection string, expanded last, overrides them. A
  // server that died must be noticed in seconds, not after TCP's hours.
  // tcp_user_timeout ends a write to a host that vanished without a word
  // (power, network) where TCP alone would retransmit for a quarter hour.
  const char* keywords[] = {"connect_timeout",  "keepalives_idle",  "keepalives_interval",
                            "keepalives_count", "tcp_user_timeout", "application_name",
                            "client_encoding",  "dbname",           nullptr};
  const char* values[] = {"5", "10", "5", "3", "20000", "tarvelin", "UTF8", conninfo.c_str(), nullptr};
  return PQconnectdbParams(keywords, values, 1);
}

bool IsUtf8Name(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name.find("utf-8") != std::string::npos || name.find("utf8") != std::string::npos;
}

// The rows come back in byte order and names fold case by Unicode, as in the
// SQLite files, only on a UTF-8 database with C collation.
bool DatabaseMatchesLikeSqlite(pg_conn* handle, std::string& error) {
  PgResult result(PQexec(handle,
                         "SELECT current_database(), pg_encoding_to_char(encoding), datcollate, datctype "
                         "FROM pg_database WHERE datname = current_database()"));
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) != 1) {
    error = "cannot read the database's encoding: " + Trimmed(PQerrorMessage(handle));
    return false;
  }
  const auto field = [&](int column) { return std::string(PQgetvalue(result.get(), 0, column)); };
  const std::string collation = field(2);
  const bool byteOrder = collation == "C" || collation == "POSIX" || collation == "C.UTF-8" || collation == "C.utf8";
  if (field(1) == "UTF8" && byteOrder && IsUtf8Name(field(3))) return true;
  error = "the PostgreSQL database " + field(0) + " has encoding " + field(1) + ", collation " + collation +
          " and character type " + field(3) +
          "; Tarvelin needs encoding UTF8, collation C (or C.UTF-8) and a UTF-8 character type, so that names match "
          "and sort as they do in the worklist everywhere (create it with: createdb --encoding=UTF8 "
          "--locale=C.UTF-8 --template=template0)";
  return false;
}

bool IsConnectionLoss(const std::string& state) {
  // Class 08: connection exceptions; 57P01-03: the server shutting down or
  // starting; 25006: a server that became a standby and takes no writes.
  return state.rfind("08", 0) == 0 || state == "57P01" || state == "57P02" || state == "57P03" ||
         state == "25006";
}

bool IsRetryable(const std::string& state) {
  // Serialization failure, deadlock, lock not granted within lock_timeout.
  return state == "40001" || state == "40P01" || state == "55P03";
}
}  // namespace

void PgResultFree::operator()(pg_result* result) const { PQclear(result); }

std::string NumberedParameters(const std::string& text, std::size_t& count) {
  std::string numbered;
  numbered.reserve(text.size() + 16);
  count = 0;
  bool inLiteral = false;
  for (char c : text) {
    if (c == '\'') inLiteral = !inLiteral;  // a doubled quote toggles twice
    if (c == '?' && !inLiteral)
      numbered += "$" + std::to_string(++count);
    else
      numbered += c;
  }
  return numbered;
}

std::unique_ptr<PostgresConnection> PostgresConnection::Open(const std::string& conninfo, int mode,
                                                             std::string& error) {
  pg_conn* handle = Connect(conninfo);
  if (!handle || PQstatus(handle) != CONNECTION_OK) {
    error = handle ? Trimmed(PQerrorMessage(handle)) : "out of memory";
    PQfinish(handle);
    return nullptr;
  }
  if (!DatabaseMatchesLikeSqlite(handle, error)) {
    PQfinish(handle);
    return nullptr;
  }
  std::unique_ptr<PostgresConnection> connection(new PostgresConnection(handle, conninfo, mode));
  PgResult result;
  if (connection->RunText(SessionSettings(mode), result, error) != Ok) return nullptr;
  return connection;
}

PostgresConnection::PostgresConnection(pg_conn* handle, std::string conninfo, int mode)
    : handle_(handle), conninfo_(std::move(conninfo)), mode_(mode) {
  // Notices (an index that already exists, say) are not the log's business.
  PQsetNoticeProcessor(handle_, [](void*, const char*) {}, nullptr);
}

PostgresConnection::~PostgresConnection() { PQfinish(handle_); }

bool PostgresConnection::Idle() const {
  return PQstatus(handle_) == CONNECTION_OK && PQtransactionStatus(handle_) == PQTRANS_IDLE;
}

bool PostgresConnection::InTransaction() const {
  const PGTransactionStatusType status = PQtransactionStatus(handle_);
  return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

bool PostgresConnection::StillConnected() {
  if (PQstatus(handle_) != CONNECTION_OK) return false;
  // A kept connection has nothing to read; anything there is the server
  // closing it (a restart, a failover) or a message to absorb.
  pollfd watch{PQsocket(handle_), POLLIN, 0};
  if (poll(&watch, 1, 0) > 0 && PQconsumeInput(handle_) == 0) return false;
  return PQstatus(handle_) == CONNECTION_OK;
}

bool PostgresConnection::Reconnect(std::string& error) {
  statements_.clear();
  PQreset(handle_);
  if (PQstatus(handle_) != CONNECTION_OK) {
    error = Trimmed(PQerrorMessage(handle_));
    return false;
  }
  PgResult result;
  return RunText(SessionSettings(mode_), result, error) == Ok;
}

int PostgresConnection::Finish(PgResult& result, std::string& error) {
  changed_ = 0;
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY) {
    const char* command = PQcmdStatus(result.get());
    if (std::strncmp(command, "INSERT", 6) == 0 || std::strncmp(command, "UPDATE", 6) == 0 ||
        std::strncmp(command, "DELETE", 6) == 0)
      changed_ = std::atoi(PQcmdTuples(result.get()));
    return Ok;
  }
  // The server's own sentence, without libpq's "ERROR:" and position lines.
  const char* primary = result ? PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  error = Trimmed(primary ? primary : PQerrorMessage(handle_));
  const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
  const std::string code = state ? state : "";
  if (PQstatus(handle_) != CONNECTION_OK || IsConnectionLoss(code)) return Lost;
  return IsRetryable(code) ? Busy : Failed;
}

std::string PostgresConnection::Prepared(const std::string& text, int& code, std::string& error) {
  if (const auto kept = statements_.find(text); kept != statements_.end()) return kept->second;
  if (statements_.size() >= kMaxPrepared) {
    PgResult dropped(PQexec(handle_, "DEALLOCATE ALL"));
    statements_.clear();
  }
  // Names are never reused on a connection, so a dropped one cannot clash.
  const std::string name = "tarvelin_" + std::to_string(++preparedSerial_);
  std::size_t count = 0;
  PgResult result(PQprepare(handle_, name.c_str(), NumberedParameters(text, count).c_str(), 0, nullptr));
  code = Finish(result, error);
  if (code != Ok) return "";
  statements_.emplace(text, name);
  return name;
}

int PostgresConnection::Run(const SqlStatement& statement, PgResult& result, std::string& error) {
  std::size_t count = 0;
  NumberedParameters(statement.Text, count);
  if (count != statement.Values.size()) {
    error = "values do not match the statement's parameters";
    return Failed;
  }
  std::vector<const char*> values;
  values.reserve(statement.Values.size());
  for (const std::string& value : statement.Values) {
    if (value.find('\0') != std::string::npos) {
      error = "a value holds a NUL byte, which PostgreSQL text cannot store";
      return Failed;
    }
    values.push_back(value.c_str());
  }
  int code = Ok;
  const std::string name = Prepared(statement.Text, code, error);
  if (code != Ok) return code;
  result.reset(PQexecPrepared(handle_, name.c_str(), static_cast<int>(values.size()), values.data(), nullptr,
                              nullptr, 0));
  return Finish(result, error);
}

int PostgresConnection::RunText(const std::string& sql, PgResult& result, std::string& error) {
  result.reset(PQexec(handle_, sql.c_str()));
  const int code = Finish(result, error);
  // COMMIT of a transaction an error had spoiled ends it as a rollback,
  // which PostgreSQL reports as success.
  if (code == Ok && sql == "COMMIT" && std::strcmp(PQcmdStatus(result.get()), "ROLLBACK") == 0) {
    error = "the transaction was rolled back";
    return Failed;
  }
  return code;
}

}  // namespace tarvelin
