// The forward-only status rule as every writer meets it in the storage code.
#include <gmock/gmock.h>

#include "db/sqldb.h"
#include "db/worklistdb.h"
#include "db_fixture.h"

namespace tarvelin {

using ::testing::Contains;
using ::testing::HasSubstr;

namespace {
class StatusRuleTest : public DbTest {
 protected:
  void Store(const std::string& status, const std::string& uid = "1.2.3") {
    SQLdb db("quillat", SQLdb::ReadWrite);
    WorklistDB e;
    e.PatientID = "P1";
    e.PatientName = "DOE^JOHN";
    e.AccessionNumber = "A1";
    e.Modality = "CT";
    e.SPSStatus = "SCHEDULED";
    e.StudyInstanceUID = uid;
    e.ScheduledStation = "CT01";
    ASSERT_EQ(e.Insert(db), WriteResult::Done);
    // Past the rule: the state a step reached, or a text an older version left.
    Raw("UPDATE Worklist SET SPSStatus='" + status + "'");
    ClearLog();
  }
  std::string Column(const std::string& column) const {
    return Stored("SELECT " + column + " FROM Worklist WHERE AccessionNumber='A1'");
  }
  static WorklistDB Key() {
    WorklistDB key;
    key.AccessionNumber = "A1";
    return key;
  }
};

struct StatusCase {
  const char* stored;
  const char* requested;
  bool administrator;
  const char* requiredCurrent;
  WriteResult result;
  const char* after;
};

TEST_F(StatusRuleTest, ChangeStatusMovesOnlyForwardUnlessAnAdministratorAsks) {
  const StatusCase cases[] = {
      {"SCHEDULED", "IN PROGRESS", false, "", WriteResult::Done, "IN PROGRESS"},
      {"SCHEDULED", "COMPLETED", false, "", WriteResult::Done, "COMPLETED"},
      {"IN PROGRESS", "DISCONTINUED", false, "", WriteResult::Done, "DISCONTINUED"},
      {"IN PROGRESS", "SCHEDULED", false, "", WriteResult::Refused, "IN PROGRESS"},
      {"COMPLETED", "IN PROGRESS", false, "", WriteResult::Refused, "COMPLETED"},
      {"COMPLETED", "DISCONTINUED", false, "", WriteResult::Refused, "COMPLETED"},
      {"DISCONTINUED", "COMPLETED", false, "", WriteResult::Refused, "DISCONTINUED"},
      {"COMPLETED", "COMPLETED", false, "", WriteResult::AlreadySo, "COMPLETED"},
      {"SCHEDULED", "DONE", false, "", WriteResult::Invalid, "SCHEDULED"},
      {"SCHEDULED", "", true, "", WriteResult::Invalid, "SCHEDULED"},
      // A text an older version stored may still move to a defined word.
      {"DONE", "COMPLETED", false, "", WriteResult::Done, "COMPLETED"},
      // Housekeeping ages only what is still waiting.
      {"IN PROGRESS", "DISCONTINUED", false, "SCHEDULED", WriteResult::Refused, "IN PROGRESS"},
      {"SCHEDULED", "DISCONTINUED", false, "SCHEDULED", WriteResult::Done, "DISCONTINUED"},
      {"COMPLETED", "SCHEDULED", true, "", WriteResult::Done, "SCHEDULED"},
      {"IN PROGRESS", "IN PROGRESS", true, "", WriteResult::AlreadySo, "IN PROGRESS"},
  };
  for (const StatusCase& c : cases) {
    SCOPED_TRACE(std::string(c.stored) + " -> " + c.requested);
    Raw("DELETE FROM Worklist");
    Store(c.stored);
    SQLdb db("quillat", SQLdb::ReadWrite);
    const StatusWriter writer = c.administrator ? StatusWriter::Administrator("anna") : StatusWriter::Workflow();
    EXPECT_EQ(Key().ChangeStatus(db, c.requested, writer, c.requiredCurrent), c.result);
    EXPECT_EQ(Column("SPSStatus"), c.after);
  }
}

TEST_F(StatusRuleTest, AnAdministratorsBackwardMoveIsLogged) {
  Store("COMPLETED");
  SQLdb db("quillat", SQLdb::ReadWrite);
  EXPECT_EQ(Key().ChangeStatus(db, "SCHEDULED", StatusWriter::Administrator("anna")), WriteResult::Done);
  EXPECT_THAT(LogLines(), Contains("WARNING, Status of AccessionNumber=A1 moved back from COMPLETED to SCHEDULED "
                                   "by administrator anna"));
}

struct UpdateCase {
  const char* stored;
  const char* status;      // requested by the update ("" none)
  bool administrator;
  const char* afterStatus;
  const char* afterUID;    // the update always asks for 9.9.9
};

TEST_F(StatusRuleTest, UpdateKeepsAStartedStepsStatusAndStudyUID) {
  const UpdateCase cases[] = {
      {"SCHEDULED", "", false, "SCHEDULED", "9.9.9"},
      {"SCHEDULED", "SCHEDULED", false, "SCHEDULED", "9.9.9"},
      {"IN PROGRESS", "SCHEDULED", false, "IN PROGRESS", "1.2.3"},
      {"IN PROGRESS", "COMPLETED", false, "COMPLETED", "1.2.3"},
      {"COMPLETED", "SCHEDULED", false, "COMPLETED", "1.2.3"},
      // An administrator may reopen a step, but its images keep their study.
      {"COMPLETED", "SCHEDULED", true, "SCHEDULED", "1.2.3"},
  };
  for (const UpdateCase& c : cases) {
    SCOPED_TRACE(std::string(c.stored) + " -> " + c.status);
    Raw("DELETE FROM Worklist");
    Store(c.stored);
    SQLdb db("quillat", SQLdb::ReadWrite);
    WorklistDB change = Key();
    change.SPSStatus = c.status;
    change.StudyInstanceUID = "9.9.9";
    change.SPSDescription = "CHEST";
    const StatusWriter writer = c.administrator ? StatusWriter::Administrator("anna") : StatusWriter::Workflow();
    EXPECT_EQ(change.Update(db, writer), WriteResult::Done);
    EXPECT_EQ(Column("SPSStatus"), c.afterStatus);
    EXPECT_EQ(Column("StudyInstanceUID"), c.afterUID);
    EXPECT_EQ(Column("SPSDescription"), "CHEST");  // the other fields change all the same
  }
}

TEST_F(StatusRuleTest, UpdateEmptiesClearedColumnsButNeverTheGuardedOnes) {
  Store("SCHEDULED");
  SQLdb db("quillat", SQLdb::ReadWrite);
  WorklistDB change = Key();
  change.Cleared = {"ScheduledStation", "PatientName", "StudyInstanceUID", "SPSStatus"};
  EXPECT_EQ(change.Update(db), WriteResult::Done);
  EXPECT_EQ(Column("ScheduledStation"), "");
  EXPECT_EQ(Column("PatientName"), "DOE^JOHN");
  EXPECT_EQ(Column("StudyInstanceUID"), "1.2.3");
  EXPECT_EQ(Column("SPSStatus"), "SCHEDULED");

  change = Key();
  change.SPSStatus = "DONE";
  EXPECT_EQ(change.Update(db), WriteResult::Invalid);
  EXPECT_THAT(LogLines().back(), HasSubstr("not a status: DONE"));

  WorklistDB fresh = Key();
  fresh.AccessionNumber = "A2";
  fresh.PatientID = "P2";
  fresh.PatientName = "ROE";
  fresh.Modality = "MR";
  fresh.SPSStatus = "DONE";
  EXPECT_EQ(fresh.Insert(db), WriteResult::Invalid);
  EXPECT_THAT(LogLines().back(), HasSubstr("AccessionNumber=A2, not a status: DONE"));
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Worklist WHERE AccessionNumber='A2'"), "0");
}
}  // namespace

}  // namespace tarvelin
