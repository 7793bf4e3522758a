// The ageing rules at pinned instants, and one pass against a real database.
#include "housekeeping/worklist_ageing.h"

#include <gtest/gtest.h>

#include "db/sqldb.h"
#include "db/worklistdb.h"
#include "support/database_folder.h"
#include "support/log_file.h"
#include "support/pinned_clock.h"

namespace tarvelin {

namespace {

TEST(AgeingRules, DateAndTimeOfDay) {
  struct Case {
    Clock::time_point now;
    const char* date;
    const char* time;
    bool deleteOld;
    AgeingRule expected;
  };
  const Clock::time_point tenAm = LocalInstant(2024, 3, 10, 10, 0);
  const Case cases[] = {
      {tenAm, "20240308", "0900", false, AgeingRule::OldDate},
      {tenAm, "20240309", "0730", false, AgeingRule::None},  // yesterday: only with DeleteOld
      {tenAm, "20240309", "0730", true, AgeingRule::OldTime},
      {tenAm, "20240309", "073000", true, AgeingRule::OldTime},
      {tenAm, "20240309", "0830", true, AgeingRule::None},  // 8:30 + 2 h is not before 10:00
      {tenAm, "20240309", "0759", true, AgeingRule::OldTime},
      {tenAm, "20240310", "0600", true, AgeingRule::None},  // today is never aged
      {tenAm, "20240311", "0000", true, AgeingRule::None},
      {tenAm, "20240309", "", true, AgeingRule::OldTime},    // empty time counts as 00:00
      {tenAm, "20240309", "ab", true, AgeingRule::OldTime},  // so does text
      {tenAm, "20240309", "7", true, AgeingRule::OldTime},   // hours alone
      {LocalInstant(2024, 3, 10, 23, 59), "20240309", "2300", true, AgeingRule::None},
      {LocalInstant(2024, 3, 11, 0, 5), "20240309", "2300", true, AgeingRule::OldDate},
      {LocalInstant(2024, 3, 1, 12, 0), "20240229", "0800", true, AgeingRule::OldTime},  // leap day is yesterday
      {LocalInstant(2024, 3, 1, 12, 0), "20240228", "2359", false, AgeingRule::OldDate},
      {LocalInstant(2024, 1, 1, 3, 0), "20231231", "0030", true, AgeingRule::OldTime},
      {LocalInstant(2024, 1, 1, 3, 0), "20231230", "2359", false, AgeingRule::OldDate},
  };
  for (const Case& c : cases) {
    WorklistDB entry;
    entry.SPSDate = c.date;
    entry.SPSTime = c.time;
    EXPECT_EQ(DateRule(entry, c.now, c.deleteOld), c.expected) << c.date << " " << c.time << " " << c.deleteOld;
  }
}

class AgeingPass : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(folder.Problem(), ""); }
  void Add(const std::string& accession, const std::string& date, const std::string& time,
           const std::string& status = "SCHEDULED") {
    SQLdb db("quillat", SQLdb::ReadWrite);
    WorklistDB entry;
    entry.PatientID = "P" + accession;
    entry.PatientName = "DOE^JOHN";
    entry.AccessionNumber = accession;
    entry.Modality = "CT";
    entry.SPSDate = date;
    entry.SPSTime = time;
    entry.SPSStatus = status;
    ASSERT_EQ(entry.Insert(db), WriteResult::Done);
  }
  std::string Status(const std::string& accession) {
    SQLdb db("quillat", SQLdb::ReadOnly);
    std::vector<std::string> rows;
    db.Query("SELECT SPSStatus FROM Worklist WHERE AccessionNumber='" + accession + "'", rows);
    return rows.empty() ? "(none)" : rows.front();
  }
  DatabaseFolder folder{"ageing"};
};

TEST_F(AgeingPass, DiscontinuesByTheRulesAndLogsEachEntry) {
  PinnedClock pinned(2024, 3, 10, 10, 0, 0);
  Add("OLD", "20240308", "0900");
  Add("Y0730", "20240309", "0730");
  Add("Y0830", "20240309", "0830");
  Add("T0600", "20240310", "0600");
  Add("DONE", "20240101", "0800", "IN PROGRESS");

  // Neither setting: only the old date counts; DeletePACS without a PACS title asks nobody.
  ASSERT_TRUE(UpdateWorklistStatus("", "127.0.0.1", "1", "TARVELIN", true, false));
  EXPECT_EQ(Status("OLD"), "DISCONTINUED;");
  EXPECT_EQ(Status("Y0730"), "SCHEDULED;");
  EXPECT_EQ(CountOf(folder.Log(), "Worklist Entry"), 1);
  EXPECT_EQ(CountOf(folder.Log(), "FindSCU"), 0);
  EXPECT_NE(folder.Log().find("INFO, Discontinued Worklist Entry: OLD, for POLD, StartDate=20240308, Reason Old Date"),
            std::string::npos);

  ASSERT_TRUE(UpdateWorklistStatus("PACS", "127.0.0.1", "1", "TARVELIN", false, true));
  EXPECT_EQ(Status("Y0730"), "DISCONTINUED;");
  EXPECT_EQ(Status("Y0830"), "SCHEDULED;");
  EXPECT_EQ(Status("T0600"), "SCHEDULED;");
  EXPECT_EQ(Status("DONE"), "IN PROGRESS;");
  EXPECT_NE(folder.Log().find("INFO, Discontinued Worklist Entry: Y0730, for PY0730, StartDate=20240309, "
                              "StartTime=0730, Older than 2 hours"),
            std::string::npos);
  EXPECT_EQ(CountOf(folder.Log(), "Worklist Entry"), 2);
}

}  // namespace

}  // namespace tarvelin
