#pragma once
// How a column of bytes (PerformedSteps.DataSet) travels through the
// gateway's text values, the one place where SQLite and PostgreSQL differ for
// a table copy: read as hexadecimal digits on both, written back from the
// value BoundBytes gives.
#include <string>

namespace tarvelin {

class SQLdb;

// A SELECT expression that yields the bytes of `column` as hexadecimal digits.
std::string HexOfBytes(SQLdb& db, const char* column);

// The placeholder expression of an INSERT that stores BoundBytes(db, bytes)
// as exactly those bytes.
std::string BytesPlaceholder(SQLdb& db);
std::string BoundBytes(SQLdb& db, const std::string& bytes);

}  // namespace tarvelin
