#include "db/bytes_column.h"

#include <sodium.h>

#include "db/sqldb.h"

namespace tarvelin {

namespace {
bool OnPostgres(SQLdb& db) { return db.Engine() == SqlEngine::PostgreSQL; }
}  // namespace

std::string HexOfBytes(SQLdb& db, const char* column) {
  return OnPostgres(db) ? std::string("encode(") + column + ", 'hex')" : std::string("hex(") + column + ")";
}

// SQLite binds the text with its length, NULs included, and a cast to BLOB
// keeps its bytes; PostgreSQL text cannot hold a NUL, so it gets the digits.
std::string BytesPlaceholder(SQLdb& db) { return OnPostgres(db) ? "decode(?, 'hex')" : "CAST(? AS BLOB)"; }

std::string BoundBytes(SQLdb& db, const std::string& bytes) {
  if (!OnPostgres(db)) return bytes;
  std::string hex(bytes.size() * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  hex.pop_back();
  return hex;
}

}  // namespace tarvelin
