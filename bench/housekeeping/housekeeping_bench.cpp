// The ageing pass on a scratch instance in /tmp, with the log lines it writes:
//  - 10,000 SCHEDULED entries that all fall to the old-date rule (every one
//    changes and is logged), then the same pass over 10,000 entries of today
//    (nothing changes: the cost of looking);
//  - for comparison, 1,000 of those status changes committed one by one;
//  - the PACS rule for 1,000 entries against dcmtk's dcmqrscp holding 100 of
//    their studies: one association per entry.
//
//   housekeeping_bench [ENTRIES] [PACS_ENTRIES]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "db/sqldb.h"
#include "db/worklistdb.h"
#include "housekeeping/worklist_ageing.h"
#include "support/database_folder.h"
#include "support/dcmqrscp_pacs.h"
#include "support/log_file.h"

using namespace tarvelin;

namespace {

using SteadyClock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& work) {
  const auto start = SteadyClock::now();
  work();
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// `count` SCHEDULED entries A<first>... dated `date`.
bool Fill(int first, int count, const std::string& date) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  return db.Exec("WITH RECURSIVE n(i) AS (SELECT " + std::to_string(first) + " UNION ALL SELECT i+1 FROM n WHERE i<" +
                 std::to_string(first + count - 1) +
                 ") INSERT INTO Worklist (PatientID, PatientName, AccessionNumber, Modality, SPSDate, SPSTime, "
                 "SPSStatus) SELECT 'P'||i, 'DOE^JOHN', 'A'||i, 'CT', '" + date + "', '0800', 'SCHEDULED' FROM n") == 0;
}

bool Reset() {
  SQLdb db("quillat", SQLdb::ReadWrite);
  return db.Exec("DELETE FROM Worklist") == 0;
}

int Count(const std::string& status) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  std::vector<std::string> rows;
  db.Query("SELECT COUNT(*) FROM Worklist WHERE SPSStatus='" + status + "'", rows);
  return rows.empty() ? -1 : std::atoi(rows.front().c_str());
}

std::string Today(int daysBack) {
  std::time_t t = std::time(nullptr) - daysBack * 86400;
  std::tm local{};
  localtime_r(&t, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d", &local);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int pacsEntries = argc > 2 ? std::atoi(argv[2]) : 1000;
  DatabaseFolder folder("housekeeping-bench");
  if (!folder.Problem().empty()) {
    std::fprintf(stderr, "%s\n", folder.Problem().c_str());
    return 1;
  }

  if (!Fill(1, entries, Today(3))) return 1;
  const double aged = Seconds([] { UpdateWorklistStatus("", "", "", "TARVELIN", false, false); });
  std::printf("ageing pass, %d entries all discontinued:   %8.3f s  (%d DISCONTINUED, %d log lines)\n", entries,
              aged, Count("DISCONTINUED"), CountOf(folder.Log(), "Discontinued Worklist Entry"));

  Reset();
  Fill(1, entries, Today(0));
  const double looked = Seconds([] { UpdateWorklistStatus("", "", "", "TARVELIN", false, true); });
  std::printf("ageing pass, %d entries none due:          %8.3f s\n", entries, looked);

  const int single = 1000;
  const double oneByOne = Seconds([&] {
    SQLdb db("quillat", SQLdb::ReadWrite);
    for (int i = 1; i <= single; ++i) {
      WorklistDB entry;
      entry.AccessionNumber = "A" + std::to_string(i);
      entry.ChangeStatus(db, "DISCONTINUED");
    }
  });
  std::printf("reference, %d status changes, one commit each: %8.3f s  (%.0f s for %d)\n", single, oneByOne,
              oneByOne * entries / single, entries);

  Reset();
  std::vector<PacsStudy> studies;
  for (int i = 1; i <= pacsEntries / 10; ++i) studies.push_back({"A" + std::to_string(i * 10)});
  DcmqrscpPacs pacs(studies);
  if (!pacs.Problem().empty()) {
    std::fprintf(stderr, "%s\n", pacs.Problem().c_str());
    return 1;
  }
  Fill(1, pacsEntries, Today(0));
  const std::string port = std::to_string(pacs.Port());
  const double asked = Seconds([&] { UpdateWorklistStatus("PACS", "127.0.0.1", port, "TARVELIN", true, false); });
  std::printf("PACS rule, %d entries against dcmqrscp:       %8.3f s  %.2f ms per entry  (%d COMPLETED)\n",
              pacsEntries, asked, asked * 1000 / pacsEntries, Count("COMPLETED"));
  return 0;
}
