#pragma once
// Columns of bytes (PerformedSteps.DataSet) through the gateway's text
// values, the one place where SQLite and PostgreSQL differ for them: written
// from a bound value that carries every byte, read back as hexadecimal
// digits (service/text.h FromHex turns them into the bytes).
#include <string>

namespace tarvelin {

class SQLdb;
struct SqlStatement;

// Appends to `statement` a placeholder that stores exactly `bytes`, with its
// value bound.
void AddBytes(const SQLdb& db, SqlStatement& statement, const std::string& bytes);

// A SELECT expression that yields the bytes of `column` as hexadecimal digits.
std::string HexOfBytes(const SQLdb& db, const char* column);

}  // namespace tarvelin
