#include "hl7/hl7_test_support.h"

#include "support/test_backend.h"

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
  std::string row = QueryDatabase(Storage(), "SELECT * FROM Worklist WHERE AccessionNumber='" + accession + "'");
  if (!row.empty()) row.pop_back();  // the line end
  return row;
}

std::string InstanceFolder::Column(const std::string& accession, const std::string& column) const {
  std::string value =
      QueryDatabase(Storage(), "SELECT " + column + " FROM Worklist WHERE AccessionNumber='" + accession + "'");
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
  return QueryDatabase(Storage(), select);
}

std::string QueryDatabase(const StorageLocation& location, const std::string& select) {
  const RawResult result = RunRawSql(location, select, false);
  std::string rows;
  for (const auto& row : result.rows) {
    for (std::size_t c = 0; c < row.size(); ++c) rows += (c ? "|" : "") + row[c].value_or("");
    rows += "\n";
  }
  return rows;
}

}  // namespace tarvelin
