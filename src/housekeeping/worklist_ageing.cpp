#include "housekeeping/worklist_ageing.h"

#include <cstdio>
#include <ctime>
#include <vector>

#include "db/sql_transaction.h"
#include "db/sps_status.h"
#include "db/sqldb.h"
#include "db/worklistdb.h"
#include "housekeeping/pacs_tls.h"
#include "housekeeping/study_in_pacs.h"
#include "service/audit_actor.h"
#include "service/audit_trail.h"
#include "service/log.h"
#include "service/text.h"

namespace tarvelin {

namespace {

struct Change {
  WorklistDB* entry;
  AgeingRule rule;
  bool done = false;
  std::string error;
};

std::string Yesterday(Clock::time_point now) {
  std::tm day = LocalTime(now);
  day.tm_mday -= 1;  // mktime carries into the month and year, whatever the day's length
  day.tm_hour = 12;
  day.tm_isdst = -1;
  std::mktime(&day);
  char text[48];
  std::snprintf(text, sizeof text, "%04d%02d%02d", day.tm_year + 1900, day.tm_mon + 1, day.tm_mday);
  return text;
}

// Hours from the first two characters, minutes from the next two.
int MinutesOfDay(const std::string& time) {
  const std::string minutes = time.size() > 2 ? time.substr(2, 2) : "";
  return static_cast<int>(ToIntDef(time.substr(0, 2), 0) * 60 + ToIntDef(minutes, 0));
}

const char* NewStatus(AgeingRule rule) { return rule == AgeingRule::InPacs ? "COMPLETED" : "DISCONTINUED"; }

const char* Reason(AgeingRule rule) {
  switch (rule) {
    case AgeingRule::OldDate: return "old date";
    case AgeingRule::OldTime: return "older than 2 hours";
    case AgeingRule::InPacs: return "study in PACS";
    case AgeingRule::None: break;
  }
  return "";
}

void LogChange(const Change& change) {
  const WorklistDB& e = *change.entry;
  const std::string which = e.AccessionNumber + ", for " + e.PatientID + ", StartDate=" + e.SPSDate;
  if (!change.done) {
    WriteLog("ERROR, Updating Worklist Entry: " + which + ", " + change.error);
    return;
  }
  WriteAudit({"housekeeping-status", AuditAction::Update, true, e.AccessionNumber, "accession",
              {{"SPSStatus", kScheduled, NewStatus(change.rule)}}, Reason(change.rule), e.PatientID, e.PatientName});
  switch (change.rule) {
    case AgeingRule::OldDate:
      WriteLog("INFO, Discontinued Worklist Entry: " + which + ", Reason Old Date");
      break;
    case AgeingRule::OldTime:
      WriteLog("INFO, Discontinued Worklist Entry: " + which + ", StartTime=" + e.SPSTime + ", Older than 2 hours");
      break;
    case AgeingRule::InPacs:
      WriteLog("INFO, Completed Worklist Entry: " + which + ", Study in PACS");
      break;
    case AgeingRule::None:
      break;
  }
}

void Apply(SQLdb& db, Change& change) {
  db.ErrorText.clear();
  // Only an entry still waiting is aged: a modality may have started it since
  // the pass read it.
  switch (change.entry->ChangeStatus(db, NewStatus(change.rule), StatusWriter::Workflow(), kScheduled)) {
    case WriteResult::Done:
      change.done = true;
      break;
    case WriteResult::Refused:
    case WriteResult::AlreadySo:  // ended meanwhile with the very status this pass would give
      change.error = "no longer SCHEDULED";
      break;
    case WriteResult::NotFound:  // deleted meanwhile (the PACS pass holds no lock while it asks)
      change.error = "no longer in the worklist";
      break;
    default:
      change.error = db.ErrorText;
      break;
  }
}

}  // namespace

AgeingRule DateRule(const WorklistDB& entry, Clock::time_point now, bool deleteOld) {
  const std::string yesterday = Yesterday(now);
  if (entry.SPSDate < yesterday) return AgeingRule::OldDate;
  if (deleteOld && entry.SPSDate == yesterday) {
    const std::tm local = LocalTime(now);
    if (MinutesOfDay(entry.SPSTime) + 120 < local.tm_hour * 60 + local.tm_min) return AgeingRule::OldTime;
  }
  return AgeingRule::None;
}

bool UpdateWorklistStatus(const std::string& pacsAET, const std::string& pacsHost, const std::string& pacsPort,
                          const std::string& ownAET, bool deletePACS, bool deleteOld,
                          const std::function<bool()>& stopRequested) {
  const AuditActorScope actor({"housekeeping", "", ""});
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) return false;
  std::vector<WorklistDB> entries;
  std::vector<Change> discontinue;
  std::vector<WorklistDB*> askPacs;
  {
    // Reading and discontinuing in one transaction: one commit for the lot,
    // and no entry a modality starts meanwhile is overwritten.
    SQLTransaction transaction(db);
    if (!WorklistDB::SelectScheduled(db, entries)) return false;
    const Clock::time_point now = Now();
    for (WorklistDB& entry : entries) {
      const AgeingRule rule = DateRule(entry, now, deleteOld);
      if (rule == AgeingRule::None) {
        if (deletePACS) askPacs.push_back(&entry);
        continue;
      }
      discontinue.push_back({&entry, rule, false, ""});
      Apply(db, discontinue.back());
    }
    if (!transaction.Commit()) {
      for (Change& change : discontinue) {
        change.done = false;
        change.error = db.ErrorText;
      }
    }
  }
  for (const Change& change : discontinue) LogChange(change);

  // Each PACS question takes an association: the write lock is not held meanwhile.
  const PacsTls tls = askPacs.empty() ? PacsTls{} : PacsTlsFromSettings();
  if (!tls.Usable) askPacs.clear();
  for (WorklistDB* entry : askPacs) {
    if (stopRequested && stopRequested()) break;
    if (!StudyInPacs(pacsAET, pacsHost, pacsPort, ownAET, entry->AccessionNumber, tls.Context.get())) continue;
    Change change{entry, AgeingRule::InPacs, false, ""};
    Apply(db, change);
    LogChange(change);
  }
  return true;
}

}  // namespace tarvelin
