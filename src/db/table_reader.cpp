#include "db/table_reader.h"

#include "db/bytes_column.h"
#include "db/sql_statement.h"
#include "db/sqldb.h"
#include "db/text_rows.h"
#include "service/text.h"

namespace tarvelin {

namespace {
std::string List(const std::vector<TableColumn>& columns) {
  std::string list;
  for (const TableColumn& column : columns) list += (list.empty() ? "" : ", ") + std::string(column.name);
  return list;
}

// One text of "0"/"1" flags, one per column: NULL and "" read alike otherwise.
std::string NullFlags(const std::vector<TableColumn>& columns) {
  std::string flags;
  for (const TableColumn& column : columns)
    flags += (flags.empty() ? "" : " || ") + std::string("(CASE WHEN ") + column.name +
             " IS NULL THEN '1' ELSE '0' END)";
  return flags;
}
}  // namespace

TableReader::TableReader(SQLdb& db, const InstanceTable& table) : db_(db), table_(table), columns_(table.key) {
  columns_.insert(columns_.end(), table.others.begin(), table.others.end());
}

bool TableReader::Next(std::vector<TableRow>& rows) {
  rows.clear();
  if (done_) return true;
  SqlStatement query;
  query.Text = "SELECT " + NullFlags(columns_);
  for (const TableColumn& column : columns_)
    query.Text += ", " + (column.kind == ColumnKind::Bytes ? HexOfBytes(db_, column.name) : std::string(column.name));
  query.Text += " FROM " + std::string(table_.name);
  if (!lastKey_.empty()) {
    // The page after the last key read: row values compare column by column.
    std::string marks;
    for (std::size_t i = 0; i < lastKey_.size(); ++i) marks += i ? ", ?" : "?";
    query.Text += " WHERE (" + List(table_.key) + ") > (" + marks + ")";
    query.Values = lastKey_;
  }
  query.Text += " ORDER BY " + List(table_.key) + " LIMIT " + std::to_string(kPageRows);
  TextRows found;
  if (db_.QueryValues(query, found) != 0) return false;
  for (std::size_t r = 0; r < found.Count(); ++r) {
    TableRow row;
    const std::string_view flags = found.Value(r, 0);
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      const std::string value(found.Value(r, c + 1));
      row.values.push_back(columns_[c].kind == ColumnKind::Bytes ? FromHex(value) : value);
      row.nulls.push_back(c < flags.size() && flags[c] == '1');
    }
    rows.push_back(std::move(row));
  }
  done_ = rows.size() < kPageRows;
  if (!rows.empty()) lastKey_.assign(rows.back().values.begin(), rows.back().values.begin() + table_.key.size());
  return true;
}

bool TableReader::Count(std::size_t& rows) {
  TextRows found;
  if (db_.QueryValues("SELECT count(*) FROM " + std::string(table_.name), found) != 0 || found.Count() != 1)
    return false;
  rows = static_cast<std::size_t>(ToIntDef(std::string(found.Value(0, 0)), 0));
  return true;
}

}  // namespace tarvelin
