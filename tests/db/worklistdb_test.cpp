#include "db/worklistdb.h"

#include <chrono>
#include <thread>

#include "db/sqldb.h"
#include "db_fixture.h"
#include "platform/clock.h"

namespace tarvelin {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {
bool AnyLineHas(const std::vector<std::string>& lines, const std::string& part) {
  for (const std::string& line : lines)
    if (line.find(part) != std::string::npos) return true;
  return false;
}

class WorklistDBTest : public DbTest {
 protected:
  static WorklistDB Entry(const std::string& accession) {
    WorklistDB e;
    e.PatientID = "P1";
    e.PatientName = "DOE^JOHN";
    e.AccessionNumber = accession;
    e.Modality = "CT";
    e.SPSStatus = "SCHEDULED";
    e.SPSDate = "20240131";
    return e;
  }
  std::string Column(const std::string& column, const std::string& accession) const {
    return Stored("SELECT " + column + " FROM Worklist WHERE AccessionNumber = '" + accession + "'");
  }
};

TEST_F(WorklistDBTest, InsertChecksRequiredFieldsInOrder) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  WorklistDB e;
  e.Modality = "CT";
  EXPECT_EQ(e.Insert(db), WriteResult::Invalid);
  e.PatientName = "X";
  EXPECT_EQ(e.Insert(db), WriteResult::Invalid);
  e.PatientID = "1";
  EXPECT_EQ(e.Insert(db), WriteResult::Invalid);
  e.AccessionNumber = "A";
  e.Modality.clear();
  EXPECT_EQ(e.Insert(db), WriteResult::Invalid);
  EXPECT_THAT(LogLines(), ElementsAre("ERROR, WorklistDB::Insert, Patient Name is empty",
                                      "ERROR, WorklistDB::Insert, Patient ID is empty",
                                      "ERROR, WorklistDB::Insert, AccessionNumber is empty",
                                      "ERROR, WorklistDB::Insert, Modality is empty"));
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Worklist"), "0");
}

TEST_F(WorklistDBTest, InsertNamesAllColumnsAndStoresEmptyStringsNotNull) {
  SQLITE_ONLY("records the statements of SQLite's connection");
  SQLdb db("quillat", SQLdb::ReadWrite);
  StatementRecorder recorder(db.Handle);
  WorklistDB e;
  e.PatientName = "N";
  e.PatientID = "I";
  e.AccessionNumber = "A1";
  e.Modality = "MR";
  EXPECT_EQ(e.Insert(db), WriteResult::Done);
  ASSERT_EQ(recorder.statements.size(), 1u);  // the insert alone: the key decides, no look-up first
  EXPECT_EQ(recorder.statements[0],
            "INSERT INTO Worklist (PatientID, PatientName, PatientBD, PatientSex, "
            "ReferringPhysician, AccessionNumber, MedicalAlerts, PatientState, PatientTransport, "
            "StudyInstanceUID, RequestedProcedureDescription, Modality, SPSDate, SPSTime, "
            "PerformingPhysician, SPSDescription, SPSID, SPSStatus, ScheduledStation, "
            "RequestedProcedureID, SOPInstanceUID, RequestedProcedurePriority) VALUES ('I', 'N', '', "
            "'', '', 'A1', '', '', '', '', '', 'MR', '', '', '', '', '', '', '', '', '', '') ON CONFLICT DO NOTHING");
  EXPECT_EQ(Column("PatientBD", "A1"), "");
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Worklist WHERE SOPInstanceUID IS NULL"), "0");
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(WorklistDBTest, DuplicateAccessionIsRefusedAndTheRowUntouched) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  ASSERT_EQ(Entry("ACC1").Insert(db), WriteResult::Done);
  WorklistDB again = Entry("ACC1");
  again.PatientName = "OTHER^NAME";
  EXPECT_EQ(again.Insert(db), WriteResult::AlreadyExists);
  EXPECT_EQ(Column("PatientName", "ACC1"), "DOE^JOHN");
  EXPECT_THAT(LogLines(), ElementsAre("WARNING, WorklistDB::Insert, Accession Number already used: ACC1"));
}

TEST_F(WorklistDBTest, UpdateWritesOnlyNonEmptyFields) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  ASSERT_EQ(Entry("ACC1").Insert(db), WriteResult::Done);
  WorklistDB change;
  change.AccessionNumber = "ACC1";
  change.SPSStatus = "COMPLETED";
  EXPECT_EQ(change.Update(db), WriteResult::Done);
  EXPECT_EQ(Column("SPSStatus", "ACC1"), "COMPLETED");
  EXPECT_EQ(Column("PatientName", "ACC1"), "DOE^JOHN");
  EXPECT_EQ(Column("SPSDate", "ACC1"), "20240131");
  EXPECT_THAT(LogLines(), ElementsAre("INFO, WorklistDB::Update, Worklist updated for AccessionNumber=ACC1"));

  SQLITE_ONLY("the rest records the statements of SQLite's connection");
  ClearLog();
  StatementRecorder recorder(db.Handle);
  WorklistDB nothing;
  nothing.AccessionNumber = "ACC1";
  EXPECT_EQ(nothing.Update(db), WriteResult::Done);
  EXPECT_THAT(recorder.statements, Contains(HasSubstr("SELECT")));  // only the existence check
  EXPECT_THAT(recorder.statements, Not(Contains(HasSubstr("UPDATE"))));
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(WorklistDBTest, UnknownOrEmptyAccessionNumbers) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  WorklistDB absent;
  absent.AccessionNumber = "NOPE";
  absent.PatientName = "X";
  EXPECT_EQ(absent.Update(db), WriteResult::NotFound);
  EXPECT_EQ(absent.ChangeStatus(db, "COMPLETED"), WriteResult::NotFound);
  EXPECT_EQ(absent.Delete(db), WriteResult::NotFound);
  EXPECT_THAT(LogLines(), ElementsAre("WARNING, WorklistDB::Update, AccessionNumber=NOPE, does not exists",
                                      "WARNING, WorklistDB::Delete, Accession Number does not exist, NOPE"));
  ClearLog();
  WorklistDB empty;
  EXPECT_EQ(empty.Update(db), WriteResult::Invalid);
  EXPECT_EQ(empty.ChangeStatus(db, "COMPLETED"), WriteResult::Invalid);
  EXPECT_EQ(empty.Delete(db), WriteResult::Invalid);
  EXPECT_THAT(LogLines(), ElementsAre("ERROR, WorklistDB::Update, AccessionNumber can't be empty",
                                      "ERROR, SetStatus, AccessionNumber can't be empty",
                                      "ERROR, WorklistDB::Delete, Accession Number is empty"));
}

TEST_F(WorklistDBTest, ChangeStatusAndDeleteOfAnExistingEntry) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  ASSERT_EQ(Entry("ACC1").Insert(db), WriteResult::Done);
  ASSERT_EQ(Entry("ACC2").Insert(db), WriteResult::Done);
  WorklistDB key;
  key.AccessionNumber = "ACC1";
  EXPECT_EQ(key.ChangeStatus(db, "DISCONTINUED"), WriteResult::Done);
  EXPECT_EQ(Column("SPSStatus", "ACC1"), "DISCONTINUED");
  EXPECT_EQ(Column("SPSStatus", "ACC2"), "SCHEDULED");
  EXPECT_EQ(key.Delete(db), WriteResult::Done);
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Worklist"), "1");
  EXPECT_EQ(Stored("SELECT AccessionNumber FROM Worklist"), "ACC2");
  EXPECT_THAT(LogLines(), ElementsAre("INFO, Status set to:DISCONTINUED for AccessionNumber=ACC1"));
}

TEST_F(WorklistDBTest, FailedStatementsAreReportedNotSwallowed) {
  SQLdb readWrite("quillat", SQLdb::ReadWrite);
  ASSERT_EQ(Entry("ACC1").Insert(readWrite), WriteResult::Done);
  SQLdb db("quillat", SQLdb::ReadOnly);
  ClearLog();
  EXPECT_EQ(Entry("ACC2").Insert(db), WriteResult::Failed);
  WorklistDB key = Entry("ACC1");
  EXPECT_EQ(key.Update(db), WriteResult::Failed);
  EXPECT_EQ(key.ChangeStatus(db, "COMPLETED"), WriteResult::Failed);
  EXPECT_EQ(key.Delete(db), WriteResult::Failed);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 8u);  // each wrapper line followed by the operation's own
  EXPECT_THAT(lines[1], HasSubstr("ERROR, WorklistDB::Insert, QueryString: INSERT INTO Worklist"));
  EXPECT_THAT(lines[1], HasSubstr(", " + ReadOnlyRefusal("INSERT")));
  EXPECT_EQ(lines[3], "ERROR, WorklistDB::Update, " + ReadOnlyRefusal("UPDATE"));
  EXPECT_EQ(lines[5], "ERROR, WorklistDB::SetStatus, " + ReadOnlyRefusal("UPDATE"));
  EXPECT_EQ(lines[7], "ERROR, WorklistDB::Delete, " + ReadOnlyRefusal("DELETE"));
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Worklist"), "1");
}

TEST_F(WorklistDBTest, AnUpdateThatCannotTakeTheWriteLockWritesNothing) {
  SQLITE_ONLY("holds SQLite's file lock");
  // Another process holds the write lock through every retry of the unit's
  // BEGIN and lets go right after. The update must not then look the row up
  // and write it in separate steps, nor call a change it stored a failure.
  {
    SQLdb db("quillat", SQLdb::ReadWrite);
    ASSERT_EQ(Entry("ACC1").Insert(db), WriteResult::Done);
  }
  ClearLog();
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open_v2(dbPath_.c_str(), &holder, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::thread releaser([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      if (AnyLineHas(LogLines(), "time_out reached")) break;
      SleepMs(5);
    }
    sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
  });
  SQLdb db("quillat", SQLdb::ReadWrite);
  db.WaitWhenBusy(0);  // the one-second retries alone
  WorklistDB change;
  change.AccessionNumber = "ACC1";
  change.PatientName = "CHANGED";
  EXPECT_EQ(change.Update(db), WriteResult::Failed);
  releaser.join();
  sqlite3_close(holder);
  EXPECT_EQ(Column("PatientName", "ACC1"), "DOE^JOHN");
  EXPECT_EQ(LogLines().back(), "ERROR, WorklistDB::Update, database is locked");
}
}  // namespace

}  // namespace tarvelin
