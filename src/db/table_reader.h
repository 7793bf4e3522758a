#pragma once
// Reads one table of the instance's data (db/instance_tables.h) in the order
// of its key, a page of rows at a time, through the gateway: the same rows
// and the same values from SQLite and from PostgreSQL, so that two copies of
// a table can be compared. Used by one thread on the caller's connection.
#include <cstddef>
#include <string>
#include <vector>

#include "db/instance_tables.h"

namespace tarvelin {

class SQLdb;

// One row: the values of the table's key columns, then of its other columns,
// exactly as stored (bytes as bytes, integers as decimal text); a NULL is an
// empty value with its flag set.
struct TableRow {
  std::vector<std::string> values;
  std::vector<bool> nulls;
};

class TableReader {
 public:
  TableReader(SQLdb& db, const InstanceTable& table);

  // Replaces `rows` with the next rows in key order, at most `kPageRows`;
  // empty once every row was read. False (the reason in the connection's
  // ErrorText) when the query fails.
  bool Next(std::vector<TableRow>& rows);

  // Rows of the table as counted by the database: a row the key order cannot
  // reach (a NULL key, possible in old SQLite files) shows as a difference.
  bool Count(std::size_t& rows);

  static constexpr std::size_t kPageRows = 500;

 private:
  SQLdb& db_;
  const InstanceTable& table_;
  std::vector<TableColumn> columns_;  // key first
  std::vector<std::string> lastKey_;  // of the last row read; empty before the first page
  bool done_ = false;
};

}  // namespace tarvelin
