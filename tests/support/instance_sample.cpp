#include "support/instance_sample.h"

#include <sqlite3.h>

#include <initializer_list>
#include <optional>
#include <vector>

#include "db/instance_tables.h"

namespace tarvelin {

namespace {
using Value = std::optional<std::string>;  // nullopt: NULL

std::string Ascii() {
  std::string bytes;
  for (int c = 1; c < 128; ++c) bytes += static_cast<char>(c);
  return bytes;
}

std::string EveryByte(std::size_t size) {
  std::string bytes;
  for (std::size_t i = 0; i < size; ++i) bytes += static_cast<char>((i * 7 + i / 256) & 0xFF);
  return bytes;
}

const std::vector<std::string>& Texts() {
  static const std::vector<std::string> texts = {
      "O'BRIEN", "'; DROP TABLE Worklist; --", "a;b;c", "''", "100% _sure_ \\ \"quoted\"", Ascii(),
      "M\xC3\x9CLLER^J\xC3\x96RG", "\xE5\xBC\xB5^\xE5\x81\x89", "\xF0\x9F\x98\x80 emoji", " padded ", "",
  };
  return texts;
}

class Writer {
 public:
  explicit Writer(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) problem_ = "cannot open " + path;
    Exec("BEGIN");
  }
  ~Writer() { sqlite3_close(db_); }

  // One row; a value of the form "#n" is the integer n, one under `blob` a BLOB.
  void Row(const char* sql, std::initializer_list<Value> values, int blobColumn = 0) {
    if (!problem_.empty()) return;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) {
      problem_ = sqlite3_errmsg(db_);
      return;
    }
    int i = 0;
    for (const Value& value : values) {
      ++i;
      if (!value) sqlite3_bind_null(statement, i);
      else if (i == blobColumn) sqlite3_bind_blob(statement, i, value->data(), static_cast<int>(value->size()), SQLITE_TRANSIENT);
      else if (value->starts_with("#")) sqlite3_bind_int64(statement, i, std::stoll(value->substr(1)));
      else sqlite3_bind_text(statement, i, value->data(), static_cast<int>(value->size()), SQLITE_TRANSIENT);
    }
    if (sqlite3_step(statement) != SQLITE_DONE) problem_ = std::string(sql) + ": " + sqlite3_errmsg(db_);
    sqlite3_finalize(statement);
  }
  std::string Finish() {
    Exec("COMMIT");
    return problem_;
  }

 private:
  void Exec(const char* sql) {
    if (problem_.empty() && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) problem_ = sqlite3_errmsg(db_);
  }
  sqlite3* db_ = nullptr;
  std::string problem_;
};
}  // namespace

std::string FillSampleInstance(const std::string& path) {
  Writer w(path);
  const auto& texts = Texts();
  const char* worklist =
      "INSERT INTO Worklist (AccessionNumber, PatientID, PatientName, PatientBD, SPSStatus, Modality, "
      "MedicalAlerts, SOPInstanceUID) VALUES (?, ?, ?, ?, ?, ?, ?, ?)";
  for (std::size_t i = 0; i < 1234; ++i) {
    const std::string& text = texts[i % texts.size()];
    // Keys of hostile text, and plain ones spread over three pages.
    const std::string key = i < texts.size() ? (text.empty() ? "" : text) : "A" + std::to_string(100000 + i);
    w.Row(worklist, {key, text, text + "^" + std::to_string(i), i % 3 ? Value("19700101") : std::nullopt,
                     "SCHEDULED", i % 2 ? Value("CT") : Value(""), std::nullopt, "1.2." + std::to_string(i)});
  }
  for (std::size_t i = 0; i < texts.size(); ++i)
    w.Row("INSERT INTO Users (UserName, PassWord, Rights) VALUES (?, ?, ?)",
          {"user " + texts[i], texts[i], i % 3 == 2 ? std::nullopt : Value(i % 2 ? "#1" : "#0")});
  w.Row("INSERT INTO Referrers (Name, Address, Phone, Email) VALUES (?, ?, ?, ?)",
        {texts[0], texts[5], std::nullopt, ""});
  w.Row("INSERT INTO Referrers (Name, Address, Phone, Email) VALUES (?, ?, ?, ?)",
        {texts[7], std::nullopt, texts[1], texts[8]});
  for (const char* code : {"#-2147483648", "#0", "#7", "#99999"})
    w.Row("INSERT INTO StudyDescription (Code, Modality, Description) VALUES (?, ?, ?)", {code, "MR", texts[6]});
  const char* step =
      "INSERT INTO PerformedSteps (SOPInstanceUID, Status, TransferSyntax, DataSet, Created, Updated) "
      "VALUES (?, ?, ?, ?, ?, ?)";
  const std::vector<Value> dataSets = {EveryByte(256), EveryByte(1 << 20), std::string(), std::nullopt,
                                       std::string(3, '\0')};
  for (std::size_t i = 0; i < dataSets.size(); ++i) {
    const std::string uid = "1.2.3." + std::to_string(i);
    w.Row(step, {uid, "IN PROGRESS", "1.2.840.10008.1.2.1", dataSets[i], "20240305101500", std::nullopt}, 4);
    w.Row("INSERT INTO PerformedStepEntries (SOPInstanceUID, AccessionNumber) VALUES (?, ?)", {uid, texts[i]});
    w.Row("INSERT INTO PerformedStepEntries (SOPInstanceUID, AccessionNumber) VALUES (?, ?)", {uid, "A100020"});
  }
  return w.Finish();
}

std::string DumpInstance(const std::string& path) {
  sqlite3* db = nullptr;
  std::string dump;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) dump = "cannot open " + path;
  for (const InstanceTable& table : InstanceTables()) {
    std::string values, order;
    for (const auto* part : {&table.key, &table.others})
      for (const TableColumn& column : *part)
        values += (values.empty() ? "" : " || '|' || ") + std::string("typeof(") + column.name + ") || ':' || hex(" +
                  column.name + ")";
    for (const TableColumn& column : table.key) order += (order.empty() ? "" : ", ") + std::string(column.name);
    const std::string sql = "SELECT " + values + " FROM " + table.name + " ORDER BY " + order;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      dump += std::string("cannot read ") + table.name + ": " + sqlite3_errmsg(db) + "\n";
      continue;
    }
    while (sqlite3_step(statement) == SQLITE_ROW)
      dump += std::string(table.name) + " " + reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)) + "\n";
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return dump;
}

}  // namespace tarvelin
