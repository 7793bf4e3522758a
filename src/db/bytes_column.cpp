#include "db/bytes_column.h"

#include <sodium.h>

#include "db/sql_statement.h"
#include "db/sqldb.h"

namespace tarvelin {

namespace {
bool OnPostgres(const SQLdb& db) { return db.Engine() == SqlEngine::PostgreSQL; }
}  // namespace

void AddBytes(const SQLdb& db, SqlStatement& statement, const std::string& bytes) {
  // SQLite binds the text with its length, NULs included, and the cast to
  // BLOB keeps its bytes as they are; a PostgreSQL text parameter cannot hold
  // a NUL, so it gets the hex digits and decodes them.
  if (!OnPostgres(db)) {
    statement.Add("CAST(? AS BLOB)", {bytes});
    return;
  }
  std::string hex(bytes.size() * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  hex.pop_back();
  statement.Add("decode(?, 'hex')", {hex});
}

std::string HexOfBytes(const SQLdb& db, const char* column) {
  return OnPostgres(db) ? std::string("encode(") + column + ", 'hex')" : std::string("hex(") + column + ")";
}

}  // namespace tarvelin
