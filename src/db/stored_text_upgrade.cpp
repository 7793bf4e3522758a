#include "db/stored_text_upgrade.h"

#include <cctype>
#include <vector>

#include "db/sqldb.h"
#include "platform/codepage.h"

namespace tarvelin {

namespace {

bool Fail(SQLdb& db, const std::string& what, std::string& error) {
  error = what + ": " + db.ErrorText;
  return false;
}

std::string QuotedName(const std::string& name) { return "\"" + name + "\""; }

// SQLite gives a column text affinity when its declared type says so.
bool HoldsText(std::string type) {
  for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return type.find("CHAR") != std::string::npos || type.find("CLOB") != std::string::npos ||
         type.find("TEXT") != std::string::npos;
}

bool TextColumns(SQLdb& db, const std::string& table, std::vector<std::string>& columns, std::string& error) {
  TextRows rows;
  if (db.QueryValues(SqlStatement{"SELECT name, type FROM pragma_table_info(?)", {table}}, rows) != 0)
    return Fail(db, "cannot read the columns of " + table, error);
  for (std::size_t r = 0; r < rows.Count(); ++r)
    if (HoldsText(std::string(rows.Value(r, 1)))) columns.emplace_back(rows.Value(r, 0));
  return true;
}

bool ConvertTable(SQLdb& db, const std::string& table, std::string& error) {
  std::vector<std::string> columns;
  if (!TextColumns(db, table, columns, error)) return false;
  if (columns.empty()) return true;
  std::string select = "SELECT rowid";
  for (const auto& column : columns) select += ", " + QuotedName(column);
  TextRows rows;
  if (db.QueryValues(select + " FROM " + QuotedName(table), rows) != 0)
    return Fail(db, "cannot read " + table, error);
  const bool fromBrowsers = table == "Worklist";
  for (std::size_t r = 0; r < rows.Count(); ++r) {
    SqlStatement update{"UPDATE " + QuotedName(table) + " SET ", {}};
    for (std::size_t c = 0; c < columns.size(); ++c) {
      const std::string stored(rows.Value(r, c + 1));
      std::string text = ToUtf8(stored);
      if (fromBrowsers) text = DecodeBrowserReferences(text);
      if (text != stored) update.Add((update.Values.empty() ? "" : ", ") + QuotedName(columns[c]) + "=?", {text});
    }
    if (!update.Values.empty() && db.Exec(update.Add(" WHERE rowid=?", {std::string(rows.Value(r, 0))})) != 0)
      return Fail(db, "cannot rewrite a row of " + table, error);
  }
  return true;
}

// The code point of the reference at `at` ("&#" seen) and where it ends, or 0.
char32_t ReferenceAt(const std::string& text, std::size_t at, std::size_t& end) {
  std::size_t i = at + 2;
  const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
  if (hex) ++i;
  const std::size_t digits = i;
  char32_t value = 0;
  for (; i < text.size() && i - digits < 8; ++i) {
    const char c = text[i];
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) break;
    value = value * (hex ? 16 : 10) + static_cast<char32_t>(d);
  }
  if (i == digits || i >= text.size() || text[i] != ';') return 0;
  end = i + 1;
  return value;
}

}  // namespace

std::string DecodeBrowserReferences(const std::string& text) {
  if (text.find("&#") == std::string::npos) return text;
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t end = 0;
    const char32_t cp = text.compare(i, 2, "&#") == 0 ? ReferenceAt(text, i, end) : 0;
    if (cp > 0xFF && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) {
      AppendUtf8(out, cp);
      i = end;
    } else {
      out += text[i++];
    }
  }
  return out;
}

bool ConvertStoredTextToUtf8(SQLdb& db, std::string& error) {
  // PostgreSQL takes valid UTF-8 only: there is nothing to convert.
  if (db.Engine() == SqlEngine::PostgreSQL) return true;
  TextRows tables;
  if (db.QueryValues("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite%'", tables) != 0)
    return Fail(db, "cannot list the tables", error);
  for (std::size_t r = 0; r < tables.Count(); ++r)
    if (!ConvertTable(db, std::string(tables.Value(r, 0)), error)) return false;
  return true;
}

}  // namespace tarvelin
