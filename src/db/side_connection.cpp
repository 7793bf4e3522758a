#include "db/side_connection.h"

#include <libpq-fe.h>

#include "db/sqldb.h"

namespace tarvelin {

bool SideConnection::Open(const std::string& conninfo, std::string& error) {
  Close();
  connection_ = PostgresConnection::Open(conninfo, SQLdb::ReadWrite, error);
  return IsOpen();
}

std::optional<std::string> SideConnection::Value(const std::string& sql, const std::vector<std::string>& values,
                                                 std::string& error) {
  if (!connection_) {
    error = "not connected";
    return std::nullopt;
  }
  PgResult result;
  if (connection_->Run({sql, values}, result, error) != PostgresConnection::Ok) return std::nullopt;
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) == 0) return "";
  return std::string(PQgetvalue(result.get(), 0, 0));
}

}  // namespace tarvelin
