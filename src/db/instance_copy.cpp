#include "db/instance_copy.h"

#include "db/bytes_column.h"
#include "db/instance_tables.h"
#include "db/sql_statement.h"
#include "db/sql_transaction.h"
#include "db/sqldb.h"
#include "db/table_fingerprint.h"
#include "db/table_reader.h"

namespace tarvelin {

namespace {
// The INSERT of one row. Its text depends only on the table and on which
// values are NULL, never on a value: those are bound.
bool InsertRow(SQLdb& db, const InstanceTable& table, const TableRow& row) {
  SqlStatement insert;
  std::string names;
  for (const auto* part : {&table.key, &table.others})
    for (const TableColumn& column : *part) names += (names.empty() ? "" : ", ") + std::string(column.name);
  insert.Add("INSERT INTO " + std::string(table.name) + " (" + names + ") VALUES (");
  std::size_t i = 0;
  for (const auto* part : {&table.key, &table.others}) {
    for (const TableColumn& column : *part) {
      if (i) insert.Add(", ");
      if (row.nulls[i])
        insert.Add("NULL");
      else if (column.kind == ColumnKind::Bytes)
        AddBytes(db, insert, row.values[i]);
      else
        insert.Add("?", {row.values[i]});
      ++i;
    }
  }
  insert.Add(")");
  return db.Exec(insert) == 0;
}

// Reads every row of `table` from `db` into `print`, handing each to `onRow`;
// false with `error` set when a query fails or the rows read are not all the
// table counts.
template <typename OnRow>
bool ReadTable(SQLdb& db, const InstanceTable& table, const char* side, TableFingerprint& print, OnRow onRow,
               std::string& error) {
  TableReader reader(db, table);
  std::vector<TableRow> rows;
  do {
    if (!reader.Next(rows)) {
      error = std::string("cannot read ") + table.name + " of the " + side + ": " + db.ErrorText;
      return false;
    }
    for (const TableRow& row : rows) {
      print.Add(row);
      if (!onRow(row)) return false;
    }
  } while (!rows.empty());
  std::size_t counted = 0;
  if (!reader.Count(counted)) {
    error = std::string("cannot count ") + table.name + " of the " + side + ": " + db.ErrorText;
    return false;
  }
  if (counted != print.Rows()) {
    error = std::string(table.name) + " of the " + side + " counts " + std::to_string(counted) + " rows, of which " +
            std::to_string(print.Rows()) + " have a key that can be read in order (a row without a key cannot be copied)";
    return false;
  }
  return true;
}

// SQLite numbers the next row past the largest key by itself; a PostgreSQL
// identity column takes its sequence's next value, which the copied keys
// did not advance.
bool ContinueNumbering(SQLdb& to, const InstanceTable& table, std::string& error) {
  if (!table.numberedKey || to.Engine() != SqlEngine::PostgreSQL) return true;
  const std::string key = table.key.front().name;
  // The table's name is read as an identifier (folded to lower case), the
  // column's as it is written: PostgreSQL keeps unquoted names in lower case.
  if (to.Exec("SELECT setval(pg_get_serial_sequence('" + std::string(table.name) + "', lower('" + key +
              "')), coalesce(max(" + key + "), 0) + 1, false) FROM " + table.name) == 0)
    return true;
  error = std::string("cannot continue the numbering of ") + table.name + " in the target: " + to.ErrorText;
  return false;
}

bool TargetEmpty(SQLdb& to, bool& empty, std::string& error) {
  empty = true;
  for (const InstanceTable& table : InstanceTables()) {
    std::size_t rows = 0;
    if (!TableReader(to, table).Count(rows)) {
      error = std::string("cannot count ") + table.name + " of the target: " + to.ErrorText;
      return false;
    }
    empty = empty && rows == 0;
  }
  return true;
}
}  // namespace

InstanceCopy CopyInstanceData(SQLdb& from, SQLdb& to, std::vector<TableComparison>& tables, std::string& error) {
  tables.clear();
  SQLTransaction reading(from);
  SQLTransaction writing(to);
  if (!reading.Active() || !writing.Active()) {
    error = "cannot begin a transaction: " + (reading.Active() ? to.ErrorText : from.ErrorText);
    return InstanceCopy::Failed;
  }
  bool empty = true;
  if (!TargetEmpty(to, empty, error)) return InstanceCopy::Failed;
  if (!empty) return InstanceCopy::TargetHoldsData;
  for (const InstanceTable& table : InstanceTables()) {
    TableFingerprint source, target;
    const bool copied = ReadTable(
        from, table, "source", source,
        [&](const TableRow& row) {
          if (InsertRow(to, table, row)) return true;
          error = std::string("cannot write ") + table.name + " of the target: " + to.ErrorText;
          return false;
        },
        error);
    if (!copied || !ContinueNumbering(to, table, error)) return InstanceCopy::Failed;
    if (!ReadTable(to, table, "target", target, [](const TableRow&) { return true; }, error))
      return InstanceCopy::Failed;
    tables.push_back({table.name, source.Rows(), target.Rows(), source.Digest(), target.Digest()});
  }
  for (const TableComparison& table : tables)
    if (!table.Matches()) return InstanceCopy::Differs;
  if (!writing.Commit()) {
    error = "cannot commit the copy: " + to.ErrorText;
    return InstanceCopy::Failed;
  }
  return InstanceCopy::Copied;
}

}  // namespace tarvelin
