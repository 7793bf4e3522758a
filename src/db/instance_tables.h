#pragma once
// The tables that hold an instance's data, described as data: what a copy of
// the instance to another database (tarvelin-setup migrate) reads and writes.
// SchemaVersion is not among them: both databases are made at the current
// version by their own schema code. A test checks this list against the
// tables and columns a new database has, so a schema step that adds one
// cannot be forgotten here.
#include <vector>

namespace tarvelin {

enum class ColumnKind {
  Text,  // text, or an integer read and written as its decimal text
  Bytes  // arbitrary bytes (a BLOB, a BYTEA)
};

struct TableColumn {
  const char* name;
  ColumnKind kind = ColumnKind::Text;
};

struct InstanceTable {
  const char* name;
  std::vector<TableColumn> key;     // the primary key: the copy reads in its order
  std::vector<TableColumn> others;  // every other column
  // The key is a number the database gives a row that names none (SQLite's
  // row id, a PostgreSQL identity column): a copy must move the numbering
  // past the keys it wrote.
  bool numberedKey = false;
};

// Every table of the instance's data, in the order they are copied.
const std::vector<InstanceTable>& InstanceTables();

}  // namespace tarvelin
