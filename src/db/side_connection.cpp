#include "db/side_connection.h"

#include <libpq-fe.h>

namespace tarvelin {

namespace {
// libpq's message without the line end it carries.
std::string Message(const char* text) {
  std::string message = text ? text : "";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return message.empty() ? "no reason given" : message;
}
}  // namespace

SideConnection::~SideConnection() { Close(); }

void SideConnection::Close() {
  if (handle_) PQfinish(handle_);
  handle_ = nullptr;
}

bool SideConnection::Open(const std::string& conninfo, std::string& error) {
  Close();
  // Bounds for a server that stops answering: without them a lost host holds
  // a caller for the kernel's TCP time-outs (minutes). The caller's string
  // comes last, so what it sets wins.
  const char* keys[] = {"connect_timeout", "keepalives", "keepalives_idle", "keepalives_interval",
                        "keepalives_count", "tcp_user_timeout", "dbname", nullptr};
  const char* values[] = {"10", "1", "10", "5", "3", "20000", conninfo.c_str(), nullptr};
  pg_conn* handle = PQconnectdbParams(keys, values, 1);
  if (!handle) {
    error = "out of memory";
    return false;
  }
  if (PQstatus(handle) != CONNECTION_OK) {
    error = Message(PQerrorMessage(handle));
    PQfinish(handle);
    return false;
  }
  // Notices ("already exists, skipping") would go to the process's stderr.
  PQsetNoticeProcessor(handle, [](void*, const char*) {}, nullptr);
  handle_ = handle;
  return true;
}

std::optional<std::string> SideConnection::Value(const std::string& sql, const std::vector<std::string>& values,
                                                 std::string& error) {
  if (!handle_) {
    error = "not connected";
    return std::nullopt;
  }
  std::vector<const char*> bound;
  for (const std::string& value : values) bound.push_back(value.c_str());
  PGresult* result = PQexecParams(handle_, sql.c_str(), static_cast<int>(bound.size()), nullptr, bound.data(),
                                  nullptr, nullptr, 0);
  std::optional<std::string> value;
  if (result && (PQresultStatus(result) == PGRES_TUPLES_OK || PQresultStatus(result) == PGRES_COMMAND_OK)) {
    value = PQntuples(result) > 0 && PQnfields(result) > 0 ? PQgetvalue(result, 0, 0) : "";
  } else {
    error = Message(result ? PQresultErrorMessage(result) : PQerrorMessage(handle_));
  }
  PQclear(result);
  return value;
}

}  // namespace tarvelin
