#include "support/traffic_audit.h"

#include <map>
#include <set>

#include "db/sqldb.h"
#include "db/sql_statement.h"
#include "db/text_rows.h"

namespace tarvelin {

namespace {

constexpr std::size_t kProblemsShown = 10;

void Note(TrafficAudit& audit, const std::string& problem) {
  if (audit.Problems.size() < kProblemsShown) audit.Problems.push_back(problem);
}

// Column values of a SELECT, row by row; a failed query is a problem of its own.
std::vector<std::vector<std::string>> Select(TrafficAudit& audit, const SqlStatement& statement) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  TextRows rows;
  std::vector<std::vector<std::string>> values;
  if (!db.IsOpen || db.QueryValues(statement, rows) != 0) {
    Note(audit, "cannot read the database: " + db.ErrorText);
    return values;
  }
  for (std::size_t r = 0; r < rows.Count(); ++r) {
    values.emplace_back();
    for (std::size_t c = 0; c < rows.Columns(); ++c) values.back().emplace_back(rows.Value(r, c));
  }
  return values;
}

void AuditOrders(TrafficAudit& audit, const TrafficPlan& plan, const std::vector<TrafficRecord>& records) {
  std::set<std::string> acknowledged;
  for (const TrafficRecord& r : records) {
    if (r.Kind != TrafficOperation::Order) continue;
    if (r.Succeeded()) acknowledged.insert(r.Key);
    if (r.Status == 1) ++audit.OrdersRefused;
  }
  audit.OrdersAcknowledged = static_cast<int>(acknowledged.size());
  if (acknowledged.empty()) return;
  std::map<std::string, int> stored;
  for (const auto& row : Select(audit, SqlStatement().Add("SELECT AccessionNumber FROM Worklist WHERE "
                                                          "AccessionNumber LIKE ?", {plan.OrderPrefix + "%"})))
    ++stored[row[0]];
  for (const std::string& accession : acknowledged)
    if (stored[accession] != 1) {
      ++audit.OrdersLost;
      Note(audit, "order " + accession + " was acknowledged and is stored " + std::to_string(stored[accession]) +
                      " times");
    }
}

void AuditSteps(TrafficAudit& audit, const TrafficPlan& plan, const std::vector<TrafficRecord>& records) {
  std::map<std::string, std::string> reported;  // SOP instance UID -> the status answered 0x0000 last
  for (const TrafficRecord& r : records) {
    if ((r.Kind != TrafficOperation::StepCreate && r.Kind != TrafficOperation::StepSet) || !r.Succeeded()) continue;
    ++audit.StepMessagesAnswered;
    std::string& status = reported[r.Key];
    if (r.Kind == TrafficOperation::StepSet)
      status = "COMPLETED";
    else if (status.empty())
      status = "IN PROGRESS";
  }
  if (reported.empty()) return;
  const std::string uids = plan.StepPrefix + ".%";
  std::map<std::string, std::vector<std::string>> steps;  // UID -> statuses stored
  for (const auto& row : Select(audit, SqlStatement().Add("SELECT SOPInstanceUID, Status FROM PerformedSteps "
                                                          "WHERE SOPInstanceUID LIKE ?", {uids})))
    steps[row[0]].push_back(row[1]);
  std::map<std::string, std::vector<std::string>> entries;  // UID -> statuses of the entries it performs
  for (const auto& row : Select(audit, SqlStatement().Add("SELECT p.SOPInstanceUID, w.SPSStatus FROM "
                                                          "PerformedStepEntries p JOIN Worklist w ON "
                                                          "w.AccessionNumber = p.AccessionNumber WHERE "
                                                          "p.SOPInstanceUID LIKE ?", {uids})))
    entries[row[0]].push_back(row[1]);
  for (const auto& [uid, status] : reported) {
    const std::vector<std::string>& stored = steps[uid];
    const std::vector<std::string>& performed = entries[uid];
    // The entry is at least as far as the step reported (COMPLETED may come
    // from an N-SET whose answer was lost).
    const bool entryFollows = performed.size() == 1 && (performed[0] == status || performed[0] == "COMPLETED");
    const bool stepFollows = stored.size() == 1 && (stored[0] == status || stored[0] == "COMPLETED");
    if (stepFollows && entryFollows) continue;
    audit.StepMessagesLost += 1;
    Note(audit, "performed step " + uid + " was answered " + status + " and is stored " +
                    std::to_string(stored.size()) + " times (" + (stored.empty() ? "" : stored[0]) + "), its entry " +
                    std::to_string(performed.size()) + " times (" + (performed.empty() ? "" : performed[0]) + ")");
  }
}

void AuditQueries(TrafficAudit& audit, const TrafficPlan& plan, const std::vector<TrafficRecord>& records) {
  for (const TrafficRecord& r : records) {
    if (r.Kind != TrafficOperation::Poll && r.Kind != TrafficOperation::Query) continue;
    const TrafficQuery& query = r.Kind == TrafficOperation::Poll ? plan.Poll : plan.Busy;
    if (!r.Succeeded()) {
      ++audit.QueriesFailed;
      audit.PartialThenFailed += r.Matches > 0;
      continue;
    }
    ++audit.QueriesSucceeded;
    if (query.Expected >= 0 && r.Matches != query.Expected) {
      ++audit.SuccessWithMissing;
      Note(audit, "a query on port " + std::to_string(r.Port) + " ended with Success after " +
                      std::to_string(r.Matches) + " of " + std::to_string(query.Expected) + " matches at " +
                      std::to_string(r.End) + " s");
    }
  }
}

}  // namespace

std::string TrafficAudit::Summary() const {
  std::string text = "orders acknowledged " + std::to_string(OrdersAcknowledged) + ", lost " +
                     std::to_string(OrdersLost) + ", refused answers " + std::to_string(OrdersRefused) +
                     "; step messages answered 0x0000 " + std::to_string(StepMessagesAnswered) + ", lost " +
                     std::to_string(StepMessagesLost) + "; queries succeeded " + std::to_string(QueriesSucceeded) +
                     ", failed " + std::to_string(QueriesFailed) + " (after pending responses " +
                     std::to_string(PartialThenFailed) + "), Success with missing matches " +
                     std::to_string(SuccessWithMissing);
  for (const std::string& problem : Problems) text += "\n  " + problem;
  return text;
}

TrafficAudit AuditTraffic(const TrafficPlan& plan, const std::vector<TrafficRecord>& records) {
  TrafficAudit audit;
  AuditOrders(audit, plan, records);
  AuditSteps(audit, plan, records);
  AuditQueries(audit, plan, records);
  return audit;
}

}  // namespace tarvelin
