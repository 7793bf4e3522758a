// Performed procedure steps: N-CREATE ties an entry to its step, N-SET reports.
#include <filesystem>

#include "db/sqldb.h"
#include "dicom/uid.h"
#include "service/audit_trail.h"
#include "service/settings.h"
#include "service/text.h"
#include "support/syslog_collector.h"
#include "support/test_backend.h"
#include "worklist/mpps.h"
#include "worklist_fixture.h"

namespace tarvelin {

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
  ds.Add(DcmTag(0x0010, 0x0010, "CHANGED^NAME"));  // fixed at the N-CREATE: ignored
  ds.Add(DcmTag(0x0040, 0x0250, "20240315"));
  if (!status.empty()) ds.Add(DcmTag(0x0040, 0x0252, status));
  return ds;
}

std::uint16_t Create(const std::string& status, std::vector<DcmTag> keys, std::string uid) {
  DcmObj ds = NCreate(status, std::move(keys));
  return CreateMPPS(ds, uid).status;
}

std::uint16_t Set(const std::string& status, const std::string& uid) {
  DcmObj ds = NSet(status);
  return SetMPPS(ds, uid).status;
}

}  // namespace

// The stored data set as hex digits, in the engine's words.
std::string DataSetHex() { return TestsOnPostgres() ? "encode(DataSet, 'hex')" : "hex(DataSet)"; }

class Mpps : public WorklistInstance {
 protected:
  void SetUp() override {
    WorklistInstance::SetUp();
    WorklistDB e = Entry("A1", "DOE^JOHN");
    e.StudyInstanceUID = "S1";
    e.SPSID = "P1";
    Insert(e);
    WorklistDB other = Entry("A2", "ROE^JANE");
    other.StudyInstanceUID = "S2";
    Insert(other);
  }
  std::string Stored(const std::string& sql) {
    SQLdb db("quillat", SQLdb::ReadOnly);
    TextRows rows;
    EXPECT_EQ(db.QueryValues(sql, rows), 0);
    return rows.Count() == 1 ? std::string(rows.Value(0, 0)) : "<no row>";
  }
  std::string Step(const std::string& uid, const std::string& column) {
    return Stored("SELECT " + column + " FROM PerformedSteps WHERE SOPInstanceUID='" + uid + "'");
  }
};

// One message of a modality and what it must lead to.
struct StepMessage {
  const char* what;
  bool create;             // N-CREATE, else N-SET
  const char* uid;
  const char* status;      // (0040,0252) ("" absent)
  const char* accession;   // N-CREATE only: the scheduled step named
  std::uint16_t answer;
  const char* entryA1;     // A1's status afterwards
};

TEST_F(Mpps, StateMachineOfAPerformedStep) {
  const StepMessage messages[] = {
      {"create completed", true, "9.1", "COMPLETED", "A1", 0x0106, "SCHEDULED"},
      {"create bad status", true, "9.1", "DONE", "A1", 0x0106, "SCHEDULED"},
      {"create", true, "9.1", "IN PROGRESS", "A1", 0x0000, "IN PROGRESS"},
      {"create again", true, "9.1", "IN PROGRESS", "A2", 0x0111, "IN PROGRESS"},
      {"set unknown", false, "9.9", "COMPLETED", "", 0x0112, "IN PROGRESS"},
      {"set empty uid", false, "", "COMPLETED", "", 0x0112, "IN PROGRESS"},
      {"set DONE", false, "9.1", "DONE", "", 0x0106, "IN PROGRESS"},
      {"set without status", false, "9.1", "", "", 0x0000, "IN PROGRESS"},
      {"second step, same entry", true, "9.2", "IN PROGRESS", "A1", 0x0000, "IN PROGRESS"},
      {"first completes, second still runs", false, "9.1", "COMPLETED", "", 0x0000, "IN PROGRESS"},
      {"set after completed", false, "9.1", "DISCONTINUED", "", 0x0110, "IN PROGRESS"},
      {"second discontinued: one completed", false, "9.2", "DISCONTINUED", "", 0x0000, "COMPLETED"},
      {"set after discontinued", false, "9.2", "IN PROGRESS", "", 0x0110, "COMPLETED"},
      {"unscheduled", true, "9.3", "IN PROGRESS", "NOSUCH", 0x0000, "COMPLETED"},
      {"late step on a completed entry", true, "9.4", "IN PROGRESS", "A1", 0x0000, "COMPLETED"},
      {"its end", false, "9.4", "DISCONTINUED", "", 0x0000, "COMPLETED"},
  };
  for (const StepMessage& m : messages) {
    SCOPED_TRACE(m.what);
    const std::string study = std::string(m.accession) == "A1" ? "S1" : "S2";
    const std::uint16_t answer = m.create ? Create(m.status, StepKeys(m.accession, study, ""), m.uid)
                                          : Set(m.status, m.uid);
    EXPECT_EQ(answer, m.answer);
    EXPECT_EQ(Column("A1", "SPSStatus"), m.entryA1);
    EXPECT_EQ(Column("A2", "SPSStatus"), "SCHEDULED");  // named only by the refused duplicate
  }
  EXPECT_EQ(Column("A1", "SOPInstanceUID"), "9.1");  // the step that started it
  EXPECT_EQ(Step("9.1", "Status") + "|" + Step("9.2", "Status") + "|" + Step("9.3", "Status"),
            "COMPLETED|DISCONTINUED|IN PROGRESS");
}

TEST_F(Mpps, NSetKeepsTheAttributesAndChangesOnlySettableOnes) {
  std::string uid = "5.5";
  DcmObj create = NCreate("IN PROGRESS", StepKeys("A1", "S1", "P1"));
  create.Add(DcmTag(0x0010, 0x0010, "DOE^JOHN"));
  ASSERT_EQ(CreateMPPS(create, uid).status, MppsSuccess);
  ASSERT_EQ(Set("COMPLETED", uid), MppsSuccess);
  EXPECT_NE(Log().find("WARNING, SetMPPS, 5.5: (0010,0010) may not be set, ignored"), std::string::npos);
  // The stored data set, as the audit would read it.
  const std::string hex = Stored("SELECT " + DataSetHex() + " FROM PerformedSteps WHERE SOPInstanceUID='5.5'");
  const std::string bytes = FromHex(hex);
  EXPECT_NE(bytes.find("DOE^JOHN"), std::string::npos);
  EXPECT_EQ(bytes.find("CHANGED^NAME"), std::string::npos);
  EXPECT_NE(bytes.find("20240315"), std::string::npos);  // the end date joined
  EXPECT_NE(bytes.find("COMPLETED"), std::string::npos);
  EXPECT_EQ(bytes.find("IN PROGRESS"), std::string::npos);
}

TEST_F(Mpps, RequiredAttributesAreNamedWhenMissing) {
  std::string uid = "6.6";
  DcmObj noStatus;
  noStatus.AddSequence(0x0040, 0x0270, SequenceOf(StepKeys("A1", "S1", "P1")));
  const ProcedureStepOutcome a = CreateMPPS(noStatus, uid);
  EXPECT_EQ(a.status, MppsMissingAttribute);
  EXPECT_EQ(a.attributes, std::vector<std::uint32_t>{0x00400252});
  DcmObj noStudy = NCreate("IN PROGRESS", {DcmTag(0x0008, 0x0050, "A1")});
  const ProcedureStepOutcome b = CreateMPPS(noStudy, uid);
  EXPECT_EQ(b.status, MppsMissingAttribute);
  EXPECT_EQ(b.attributes, std::vector<std::uint32_t>{0x0020000D});
  DcmObj done = NCreate("DONE", StepKeys("A1", "S1", "P1"));
  EXPECT_EQ(CreateMPPS(done, uid).attributes, std::vector<std::uint32_t>{0x00400252});
  EXPECT_EQ(Column("A1", "SPSStatus"), "SCHEDULED");
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM PerformedSteps"), "0");
}

TEST_F(Mpps, NCreateWithoutInstanceUIDGetsAGeneratedOne) {
  std::string uid;
  DcmObj ds = NCreate("IN PROGRESS", StepKeys("A1", "S1", "P1"));
  EXPECT_EQ(CreateMPPS(ds, uid).status, MppsSuccess);
  EXPECT_EQ(uid.rfind(UIDRoot() + ".2.", 0), 0u);
  EXPECT_EQ(Column("A1", "SOPInstanceUID"), uid);
}

TEST_F(Mpps, GroupedProceduresAndKeysInUndefinedLengthSequences) {
  DcmObj ds;
  ds.Add(DcmTag(0x0008, 0x0060, "CT"));
  // A sequence inside the item holds a decoy accession number.
  auto steps = SequenceOf(StepKeys("A1", "S1", "P1"));
  DcmObj& item = *steps->Entries[0].Obj;
  item.AddSequence(0x0008, 0x1110, UndefinedLengths(SequenceOf({DcmTag(0x0008, 0x0050, "DECOY")})));
  steps->Add(std::move(SequenceOf(StepKeys("A2", "S2", ""))->Entries[0].Obj));
  ds.AddSequence(0x0040, 0x0270, UndefinedLengths(std::move(steps)));
  ds.Add(DcmTag(0x0040, 0x0252, "IN PROGRESS"));
  const std::vector<ScheduledStepKeys> keys = FindScheduledStepKeys(ds);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].AccessionNumber + keys[0].StudyInstanceUID + keys[0].SPSID, "A1S1P1");
  EXPECT_EQ(keys[1].AccessionNumber, "A2");
  std::string uid = "7.7";
  EXPECT_EQ(CreateMPPS(ds, uid).status, MppsSuccess);
  EXPECT_EQ(Column("A1", "SPSStatus"), "IN PROGRESS");
  EXPECT_EQ(Column("A2", "SPSStatus"), "IN PROGRESS");
  EXPECT_EQ(Set("COMPLETED", uid), MppsSuccess);
  EXPECT_EQ(Column("A1", "SPSStatus") + "|" + Column("A2", "SPSStatus"), "COMPLETED|COMPLETED");

  // Keys outside (0040,0270) are not the step's.
  DcmObj elsewhere;
  elsewhere.AddSequence(0x0040, 0x0275, UndefinedLengths(SequenceOf(StepKeys("A2", "1.2.3.A2", "SA2"))));
  elsewhere.Add(DcmTag(0x0040, 0x0252, "IN PROGRESS"));
  EXPECT_EQ(CreateMPPS(elsewhere, uid).status, MppsMissingAttribute);
}

TEST_F(Mpps, QuotesInReportedValuesStayValues) {
  const std::string uid = "1.2'; DELETE FROM Worklist; --";
  EXPECT_EQ(Create("IN PROGRESS", StepKeys("A1", "S1", "P1"), uid), MppsSuccess);
  EXPECT_EQ(Stored("SELECT SOPInstanceUID FROM Worklist WHERE AccessionNumber='A1'"), uid);
  EXPECT_EQ(Set("COMPLETED", uid), MppsSuccess);
  EXPECT_EQ(Column("A1", "SPSStatus"), "COMPLETED");
  EXPECT_EQ(Create("IN PROGRESS", StepKeys("A2'--", "S2", ""), "3.3"), MppsSuccess);  // unscheduled
  EXPECT_EQ(Column("A2", "SPSStatus"), "SCHEDULED");
}

// A trigger that makes every update of `table` fail with "refused", and its removal.
std::string RefuseUpdates(const std::string& table) {
  if (!TestsOnPostgres())
    return "CREATE TRIGGER refuse BEFORE UPDATE ON " + table + " BEGIN SELECT RAISE(ABORT, 'refused'); END";
  return "CREATE OR REPLACE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION "
         "'refused'; END $$; CREATE TRIGGER refuse BEFORE UPDATE ON " + table +
         " FOR EACH ROW EXECUTE FUNCTION refuse()";
}
std::string AcceptUpdates(const std::string& table) {
  return TestsOnPostgres() ? "DROP TRIGGER refuse ON " + table : std::string("DROP TRIGGER refuse");
}

TEST_F(Mpps, AnyFailedUpdateAnswersProcessingFailure) {
  ExecSql(RefuseUpdates("Worklist"));
  EXPECT_EQ(Create("IN PROGRESS", StepKeys("A1", "S1", "P1"), "1.2.3"), MppsProcessingFailure);
  EXPECT_NE(Log().find("ERROR, CreateMPPS Query, refused"), std::string::npos);
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM PerformedSteps"), "0");  // nothing half-stored
  ExecSql(AcceptUpdates("Worklist"));
  ASSERT_EQ(Create("IN PROGRESS", StepKeys("A1", "S1", "P1"), "1.2.3"), MppsSuccess);
  ExecSql(RefuseUpdates("PerformedSteps"));
  EXPECT_EQ(Set("COMPLETED", "1.2.3"), MppsProcessingFailure);
  EXPECT_NE(Log().find("ERROR, SetMPPS Query, refused"), std::string::npos);
  EXPECT_EQ(Column("A1", "SPSStatus"), "IN PROGRESS");
}

TEST_F(Mpps, MissingDatabaseAnswersProcessingFailure) {
  SQLITE_ONLY("removes the database file");
  std::filesystem::remove(folder_ + "database/quillat.db");
  EXPECT_EQ(Create("IN PROGRESS", StepKeys("A1", "S1", "P1"), "1.2.3"), MppsProcessingFailure);
  EXPECT_EQ(Set("COMPLETED", "1.2.3"), MppsProcessingFailure);
}

// The step's text arrives in the data set's (0008,0005), else in the
// calling station's set, and is kept as UTF-8 under ISO_IR 192; bytes not
// valid in that set are refused, naming the attribute.
TEST_F(Mpps, TextIsTakenFromTheDataSetsCharacterSetIntoUtf8) {
  ServerSettings.StationCharSets = {{"greekct", "ISO_IR 126"}};
  const struct {
    const char* uid;
    const char* charset;  // nullptr: none sent
    const char* station;
    std::string name;     // (0010,0010) as sent
    std::uint16_t answer;
    std::string stored;   // the name in the stored data set
  } cases[] = {
      {"7.1", "ISO_IR 100", "CT01", "M\xDCLLER", MppsSuccess, "M\xC3\x9CLLER"},
      {"7.2", nullptr, "CT01", "M\xDCLLER", MppsSuccess, "M\xC3\x9CLLER"},  // DefaultCharSet: ISO_IR 100
      {"7.3", nullptr, "GREEKCT", "\xC3\xC9\xD9", MppsSuccess, "\xCE\x93\xCE\x99\xCE\xA9"},  // the station's set
      {"7.4", "ISO_IR 192", "CT01", "\xE5\xB1\xB1\xE7\x94\xB0", MppsSuccess, "\xE5\xB1\xB1\xE7\x94\xB0"},
      {"7.5", "ISO_IR 192", "CT01", "M\xDCLLER", MppsInvalidAttributeValue, ""},  // not UTF-8
  };
  for (const auto& c : cases) {
    std::string uid = c.uid;
    DcmObj ds = NCreate("IN PROGRESS", StepKeys("A1", "S1", "P1"));
    if (c.charset) ds.Set(DcmTag(0x0008, 0x0005, c.charset));
    ds.Add(DcmTag(0x0010, 0x0010, c.name, "PN"));
    const ProcedureStepOutcome outcome = CreateMPPS(ds, uid, c.station);
    EXPECT_EQ(outcome.status, c.answer) << c.uid;
    const std::string bytes = FromHex(Stored("SELECT " + DataSetHex() + " FROM PerformedSteps WHERE SOPInstanceUID='" + uid + "'"));
    if (c.answer != MppsSuccess) {
      EXPECT_EQ(outcome.attributes, std::vector<std::uint32_t>{0x00100010}) << c.uid;
      EXPECT_EQ(bytes, "") << c.uid;
      continue;
    }
    EXPECT_NE(bytes.find(c.stored), std::string::npos) << c.uid;
    EXPECT_NE(bytes.find("ISO_IR 192"), std::string::npos) << c.uid;
  }
  EXPECT_NE(Log().find("ERROR, CreateMPPS, (0010,0010) is not text of the character set ISO_IR 192, refused"),
            std::string::npos);

  // An N-SET in Latin-2 joins the step's UTF-8 text; its (0008,0005) is no attribute to set.
  DcmObj set;
  set.Set(DcmTag(0x0008, 0x0005, "ISO_IR 101"));
  set.Add(DcmTag(0x0040, 0x0254, "DVO\xD8\xC1K", "LO"));
  EXPECT_EQ(SetMPPS(set, "7.1", "CT01").status, MppsSuccess);
  const std::string merged = FromHex(Stored("SELECT " + DataSetHex() + " FROM PerformedSteps WHERE SOPInstanceUID='7.1'"));
  EXPECT_NE(merged.find("DVO\xC5\x98\xC3\x81K"), std::string::npos);
  EXPECT_NE(merged.find("M\xC3\x9CLLER"), std::string::npos);
  EXPECT_EQ(Log().find("(0008,0005) may not be set"), std::string::npos);
  ServerSettings.StationCharSets.clear();
}

}  // namespace tarvelin

namespace tarvelin {

// A procedure step reaches an audit repository as a DICOM Procedure Record
// naming its patient and its SOP Instance, on creation and on each N-SET.
TEST_F(Mpps, StepsReachTheAuditRepositoryAsProcedureRecords) {
  SyslogCollector collector;
  ServerSettings.AuditSyslog = collector.Target();
  ServerSettings.AuditSyslogDicom = true;
  StartAuditTrail();
  DcmObj create = NCreate("IN PROGRESS", StepKeys("A1", "S1", "P1"));
  create.Add(DcmTag(0x0010, 0x0020, "PID7"));
  create.Add(DcmTag(0x0010, 0x0010, "DOE^JOHN"));
  std::string uid = "9.1";
  EXPECT_EQ(CreateMPPS(create, uid).status, MppsSuccess);
  EXPECT_EQ(Set("COMPLETED", uid), MppsSuccess);
  const std::string object = "object PID7 type=1/1 id=2:RFC-3881:Patient Number name=DOE^JOHN accession=- mpps=9.1 ";
  for (const std::string action : {"C", "U"}) {
    const std::string summary = DicomAuditSummary(SyslogBody(collector.Receive()));
    EXPECT_EQ(summary.rfind("event 110111:DCM:Procedure Record " + action + " 0 ", 0), 0u) << summary;
    EXPECT_NE(summary.find(object), std::string::npos) << summary;
  }
  StopAuditTrail();
  ServerSettings.AuditSyslog.clear();
  ServerSettings.AuditSyslogDicom = false;
}

}  // namespace tarvelin
