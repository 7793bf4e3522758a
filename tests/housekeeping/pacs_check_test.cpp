// The PACS rule of the ageing pass end to end against dcmtk's dcmqrscp.
#include <gtest/gtest.h>

#include "db/sqldb.h"
#include "db/worklistdb.h"
#include "housekeeping/study_in_pacs.h"
#include "housekeeping/worklist_ageing.h"
#include "support/database_folder.h"
#include "support/dcmqrscp_pacs.h"
#include "support/log_file.h"
#include "support/pinned_clock.h"

namespace tarvelin {

namespace {

class PacsCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pacs.Problem(), "");
    ASSERT_EQ(folder.Problem(), "");
    SQLdb db("quillat", SQLdb::ReadWrite);
    for (const char* accession : {"IN-PACS", "NOT-IN-PACS"}) {
      WorklistDB entry;
      entry.PatientID = "P1";
      entry.PatientName = "DOE^JOHN";
      entry.AccessionNumber = accession;
      entry.Modality = "CT";
      entry.SPSDate = "20240310";  // today: no date rule applies
      entry.SPSTime = "0800";
      entry.SPSStatus = "SCHEDULED";
      ASSERT_EQ(entry.Insert(db), WriteResult::Done);
    }
  }
  std::string Status(const std::string& accession) {
    SQLdb db("quillat", SQLdb::ReadOnly);
    std::vector<std::string> rows;
    db.Query("SELECT SPSStatus FROM Worklist WHERE AccessionNumber='" + accession + "'", rows);
    return rows.empty() ? "" : Piece(rows.front());
  }
  static std::string Piece(const std::string& row) { return row.substr(0, row.find(';')); }
  bool Pass(const std::string& pacsAET, const std::string& port) {
    return UpdateWorklistStatus(pacsAET, "127.0.0.1", port, "TARVELIN", true, false);
  }

  PinnedClock pinned{2024, 3, 10, 10, 0, 0};
  DcmqrscpPacs pacs{{{"IN-PACS"}, {"OTHER"}}};
  DatabaseFolder folder{"pacs-check"};
};

TEST_F(PacsCheck, AStudyInThePacsCompletesItsEntry) {
  ASSERT_TRUE(Pass("PACS", std::to_string(pacs.Port())));
  EXPECT_EQ(Status("IN-PACS"), "COMPLETED");
  EXPECT_EQ(Status("NOT-IN-PACS"), "SCHEDULED");
  const std::string log = folder.Log();
  EXPECT_NE(log.find("INFO, Completed Worklist Entry: IN-PACS, for P1, StartDate=20240310, Study in PACS"),
            std::string::npos)
      << log;
  EXPECT_EQ(CountOf(log, "ERROR"), 0) << log;
  // The completed entry is no longer asked about.
  ASSERT_TRUE(Pass("PACS", std::to_string(pacs.Port())));
  EXPECT_EQ(CountOf(folder.Log(), "Completed Worklist Entry"), 1);
}

TEST_F(PacsCheck, AStoppedOrRefusingPacsChangesNothing) {
  const std::string port = std::to_string(pacs.Port());
  ASSERT_TRUE(Pass("STRICT", port));  // knows only the caller ONLYME
  EXPECT_EQ(CountOf(folder.Log(), "ERROR, Association Rejected..."), 2) << folder.Log();
  EXPECT_EQ(CountOf(folder.Log(), "ERROR, connecting to PACS: STRICT, IP:127.0.0.1, Port:" + port), 2);

  pacs.Stop();
  ASSERT_TRUE(Pass("PACS", port));
  EXPECT_EQ(CountOf(folder.Log(), "ERROR, FindSCU, OpenAssoc failed"), 4);
  EXPECT_EQ(CountOf(folder.Log(), "ERROR, connecting to PACS: PACS, IP:127.0.0.1, Port:" + port), 2);
  EXPECT_EQ(Status("IN-PACS"), "SCHEDULED");
  EXPECT_EQ(Status("NOT-IN-PACS"), "SCHEDULED");
  EXPECT_EQ(CountOf(folder.Log(), "Worklist Entry"), 0);
}

TEST_F(PacsCheck, WildcardsInAnAccessionNumberMatchNothingButThemselves) {
  const std::string port = std::to_string(pacs.Port());
  EXPECT_FALSE(StudyInPacs("PACS", "127.0.0.1", port, "TARVELIN", "IN-*"));
  EXPECT_FALSE(StudyInPacs("PACS", "127.0.0.1", port, "TARVELIN", "IN-PAC?"));
  EXPECT_FALSE(StudyInPacs("PACS", "127.0.0.1", port, "TARVELIN", ""));
  EXPECT_TRUE(StudyInPacs("PACS", "127.0.0.1", port, "TARVELIN", "IN-PACS"));
}

}  // namespace

}  // namespace tarvelin
