// Performed procedure steps: N-CREATE ties an entry to its step, N-SET reports.
#include <filesystem>

#include "worklist/mpps.h"
#include "worklist_fixture.h"

namespace {

std::vector<DcmTag> StepKeys(const std::string& accession, const std::string& study, const std::string& step) {
  return {DcmTag(0x0008, 0x0050, accession), DcmTag(0x0020, 0x000D, study), DcmTag(0x0040, 0x0009, step)};
}

// An N-CREATE data set with the keys in a defined-length (0040,0270) item.
DcmObj NCreate(const std::string& status, std::vector<DcmTag> keys) {
  DcmObj ds;
  ds.Add(DcmTag(0x0008, 0x0060, "CT"));
  ds.AddSequence(0x0040, 0x0270, SequenceOf(std::move(keys)));
  ds.Add(DcmTag(0x0040, 0x0252, status));
  return ds;
}

DcmObj NSet(const std::string& status) {
  DcmObj ds;
  if (!status.empty()) ds.Add(DcmTag(0x0040, 0x0252, status));
  ds.Add(DcmTag(0x0040, 0x0250, "20240315"));
  return ds;
}

}  // namespace

class Mpps : public WorklistInstance {
 protected:
  void SetUp() override {
    WorklistInstance::SetUp();
    WorklistDB e = Entry("A1", "DOE^JOHN");
    e.StudyInstanceUID = "S1";
    e.SPSID = "P1";
    Insert(e);
    Insert(Entry("A2", "ROE^JANE"));
  }
};

TEST_F(Mpps, NCreateStartsTheEntryAndNSetCompletesIt) {
  std::string uid = "1.2.3.4.5";
  EXPECT_EQ(CreateMPPS(NCreate("IN PROGRESS", StepKeys("A1", "S1", "P1")), uid), MppsSuccess);
  EXPECT_EQ(uid, "1.2.3.4.5");
  EXPECT_EQ(Column("A1", "SPSStatus"), "IN PROGRESS");
  EXPECT_EQ(Column("A1", "SOPInstanceUID"), "1.2.3.4.5");
  EXPECT_EQ(Column("A2", "SPSStatus"), "SCHEDULED");

  EXPECT_EQ(SetMPPS(NSet(""), uid), MppsSuccess);  // no status reported: unchanged
  EXPECT_EQ(Column("A1", "SPSStatus"), "IN PROGRESS");
  EXPECT_EQ(SetMPPS(NSet("COMPLETED"), uid), MppsSuccess);
  EXPECT_EQ(Column("A1", "SPSStatus"), "COMPLETED");
  EXPECT_EQ(Column("A2", "SPSStatus"), "SCHEDULED");

  EXPECT_EQ(SetMPPS(NSet("DISCONTINUED"), "9.9.9"), MppsSuccess);  // no such step: no change
  EXPECT_EQ(Column("A1", "SPSStatus"), "COMPLETED");
  EXPECT_EQ(SetMPPS(NSet("DISCONTINUED"), ""), MppsNotApplied);  // never every unstarted entry
  EXPECT_EQ(Column("A2", "SPSStatus"), "SCHEDULED");
}

TEST_F(Mpps, NCreateWithoutInstanceUIDGetsAGeneratedOne) {
  std::string uid;
  EXPECT_EQ(CreateMPPS(NCreate("IN PROGRESS", StepKeys("A1", "S1", "P1")), uid), MppsSuccess);
  EXPECT_FALSE(uid.empty());
  EXPECT_EQ(Column("A1", "SOPInstanceUID"), uid);
}

TEST_F(Mpps, KeysInUndefinedLengthSequenceAreFound) {
  DcmObj ds;
  ds.Add(DcmTag(0x0008, 0x0060, "CT"));
  // A sequence inside the item holds a decoy accession number.
  auto steps = SequenceOf(StepKeys("A1", "S1", "P1"));
  DcmObj& item = *steps->Entries[0].Obj;
  item.AddSequence(0x0008, 0x1110, UndefinedLengths(SequenceOf({DcmTag(0x0008, 0x0050, "DECOY")})));
  ds.AddSequence(0x0040, 0x0270, UndefinedLengths(std::move(steps)));
  ds.Add(DcmTag(0x0040, 0x0252, "IN PROGRESS"));
  const ScheduledStepKeys keys = FindScheduledStepKeys(ds);
  EXPECT_EQ(keys.AccessionNumber, "A1");
  EXPECT_EQ(keys.StudyInstanceUID, "S1");
  EXPECT_EQ(keys.SPSID, "P1");
  std::string uid = "7.7";
  EXPECT_EQ(CreateMPPS(ds, uid), MppsSuccess);
  EXPECT_EQ(Column("A1", "SPSStatus"), "IN PROGRESS");

  // Keys outside (0040,0270) are not the step's.
  DcmObj elsewhere;
  elsewhere.AddSequence(0x0040, 0x0275, UndefinedLengths(SequenceOf(StepKeys("A2", "1.2.3.A2", "SA2"))));
  elsewhere.Add(DcmTag(0x0040, 0x0252, "IN PROGRESS"));
  EXPECT_EQ(CreateMPPS(elsewhere, uid), MppsNotApplied);
  EXPECT_EQ(Column("A2", "SPSStatus"), "SCHEDULED");
}

TEST_F(Mpps, MissingOrUnmatchedKeysChangeNothing) {
  std::string uid = "1.2";
  EXPECT_EQ(CreateMPPS(NCreate("IN PROGRESS", {DcmTag(0x0008, 0x0050, "A1"), DcmTag(0x0020, 0x000D, "S1")}), uid),
            MppsNotApplied);
  EXPECT_EQ(CreateMPPS(NCreate("IN PROGRESS", StepKeys("A1", "S1", "WRONG")), uid), MppsSuccess);
  EXPECT_EQ(Column("A1", "SPSStatus"), "SCHEDULED");
  EXPECT_EQ(Column("A1", "SOPInstanceUID"), "");
}

TEST_F(Mpps, QuotesInReportedValuesStayValues) {
  std::string uid = "1.2'; DELETE FROM Worklist; --";
  EXPECT_EQ(CreateMPPS(NCreate("IN 'PROGRESS'", StepKeys("A1", "S1", "P1")), uid), MppsSuccess);
  EXPECT_EQ(Column("A1", "SPSStatus"), "IN 'PROGRESS'");
  EXPECT_EQ(SetMPPS(NSet("DONE'"), uid), MppsSuccess);
  EXPECT_EQ(Column("A1", "SPSStatus"), "DONE'");
  EXPECT_EQ(Column("A2", "SPSStatus"), "SCHEDULED");
}

TEST_F(Mpps, AnyFailedUpdateAnswersFailure) {
  ExecSql("UPDATE Worklist SET SOPInstanceUID='1.2.3' WHERE AccessionNumber='A2'");
  ExecSql("CREATE TRIGGER refuse BEFORE UPDATE ON Worklist BEGIN SELECT RAISE(ABORT, 'refused'); END");
  std::string uid = "1.2.3";
  EXPECT_EQ(CreateMPPS(NCreate("IN PROGRESS", StepKeys("A1", "S1", "P1")), uid), MppsUpdateFailed);
  EXPECT_EQ(SetMPPS(NSet("COMPLETED"), uid), MppsUpdateFailed);
  EXPECT_NE(Log().find("ERROR, CreateMPPS Query, refused"), std::string::npos);
  EXPECT_NE(Log().find("ERROR, SetMPPS Query, refused"), std::string::npos);
  EXPECT_EQ(Column("A1", "SPSStatus"), "SCHEDULED");
  EXPECT_EQ(Column("A2", "SPSStatus"), "SCHEDULED");
}

TEST_F(Mpps, MissingDatabaseAnswersNotApplied) {
  std::filesystem::remove(folder_ + "database/quillat.db");
  std::string uid = "1.2.3";
  EXPECT_EQ(CreateMPPS(NCreate("IN PROGRESS", StepKeys("A1", "S1", "P1")), uid), MppsNotApplied);
  EXPECT_EQ(SetMPPS(NSet("COMPLETED"), uid), MppsNotApplied);
}
