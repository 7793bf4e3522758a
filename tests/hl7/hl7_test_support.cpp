#include "hl7/hl7_test_support.h"

#include <sqlite3.h>

#include "db/sqldb.h"

namespace tarvelin {

std::string Segment(const std::string& name, const std::map<int, std::string>& fields) {
  std::string text = name;
  int last = fields.empty() ? 0 : fields.rbegin()->first;
  for (int i = 1; i <= last; ++i) {
    auto it = fields.find(i);
    text += "|" + (it == fields.end() ? std::string() : it->second);
  }
  return text;
}

std::string MshSegment(const std::string& type, const std::string& controlId) {
  return "MSH|^~\\&|RIS|HOSP|TARVELIN|RAD|20240305143015||" + type + "|" + controlId + "|P|2.3.1";
}

std::string TestOrder::Text() const {
  std::map<int, std::string> orcFields = orc;
  orcFields[1] = orderControl;
  std::map<int, std::string> obrFields{{18, accession}, {24, modality}};
  for (const auto& [n, v] : obr) obrFields[n] = v;
  return MshSegment("ORM^O01", controlId) + "\r" +
         Segment("PID", {{3, "12345^^^HOSP"}, {5, "DOE^JOHN"}, {7, "19700102"}}) + "\r" +
         Segment("ORC", orcFields) + "\r" + Segment("OBR", obrFields) + "\r";
}

std::string InstanceFolder::Row(const std::string& accession) const {
  std::string row = QueryDatabase(DatabasePath("quillat"),
                                  "SELECT * FROM Worklist WHERE AccessionNumber='" + accession + "'");
  if (!row.empty()) row.pop_back();  // the line end
  return row;
}

std::string InstanceFolder::Column(const std::string& accession, const std::string& column) const {
  std::string value = QueryDatabase(
      DatabasePath("quillat"), "SELECT " + column + " FROM Worklist WHERE AccessionNumber='" + accession + "'");
  if (!value.empty()) value.pop_back();
  return value;
}

RunningTarvelin::RunningTarvelin(int hl7Port) : TarvelinInstance("hl7", hl7Port) {
  problem_ = InitWithSetupTool("hl7 test admin password");
  if (!problem_.empty()) return;
  if (!Start()) {
    problem_ = "tarvelin did not start";
    return;
  }
  const bool logged = WaitForLog(
      [](const std::string& log) {
        return log.find("Initialized HL7 server at port: ") != std::string::npos ||
               log.find("ERROR, hl7server: ") != std::string::npos;
      },
      10000);
  if (!logged) problem_ = "no HL7 start line; log: " + Log() + Console();
}

std::string RunningTarvelin::Sql(const std::string& select) const {
  return QueryDatabase(Home() + "database/quillat.db", select);
}

std::string QueryDatabase(const std::string& path, const std::string& select) {
  sqlite3* db = nullptr;
  std::string rows;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, select.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
      while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
          const unsigned char* text = sqlite3_column_text(statement, c);
          rows += (c ? "|" : "") + std::string(text ? reinterpret_cast<const char*>(text) : "");
        }
        rows += "\n";
      }
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return rows;
}

}  // namespace tarvelin
