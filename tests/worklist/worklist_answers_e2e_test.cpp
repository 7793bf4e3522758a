// The running server's answers as a modality reads them, through a raw
// client built on the association code for what dcmtk's findscu cannot send:
// a C-CANCEL-RQ before, during and after an answer, zero-item sequences,
// and each response's status, Error Comment and Offending Element.
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/sqldb.h"
#include "dicom/uid.h"
#include "dimse/cfind.h"
#include "dimse/command_set.h"
#include "net/pdu_service.h"
#include "running_server.h"

namespace tarvelin {

namespace {

struct Response {
  int status = -1;  // -1: nothing could be read
  std::string comment;
  std::uint32_t offending = 0;
  DcmObj identifier;
};

struct Answer {
  int pendings = 0;
  std::vector<int> pendingStatuses;
  Response last;  // the final response
  std::vector<DcmObj> matches;
};

class RawModality {
 public:
  explicit RawModality(int port) {
    association_.Link.Sock.SetTimeout(20);
    association_.assocRQ.SetCalledApTitle("TARVELIN");
    association_.assocRQ.SetCallingApTitle("RAWMODALITY");
    for (const char* abstract : {UID_ModalityWorklistFind, UID_Verification}) {
      PresentationContext pc;
      pc.SetAbstractSyntax(abstract);
      pc.AddTransferSyntax(UID_ExplicitVRLittleEndian);
      association_.assocRQ.AddPresentationContext(pc);
    }
    connected_ = association_.Connect("127.0.0.1", std::to_string(port));
  }
  ~RawModality() {
    if (association_.IsConnected()) association_.Release();
  }
  bool Connected() const { return connected_; }

  // Sends a C-FIND-RQ on the worklist context; its message ID.
  std::uint16_t Find(DcmObj& identifier) {
    association_.pdata.StoredPresentationContextID = association_.AcceptedPresentationContexts.at(0).PresentationContextID;
    const std::uint16_t id = CFind::NewMessageID();
    DcmObj command = CFind::BuildRQ(UID_ModalityWorklistFind, id);
    identifier.ExplicitVR = 1;
    identifier.TransferSyntax = UID_ExplicitVRLittleEndian;
    EXPECT_TRUE(association_.WriteMessage(command, &identifier));
    return id;
  }
  void Cancel(std::uint16_t messageID) {
    DcmObj command = MakeCommandSet({CommandUS(Cmd::CommandField, Cmd::C_CANCEL_RQ),
                                     CommandUS(Cmd::MessageIDBeingRespondedTo, messageID),
                                     CommandUS(Cmd::CommandDataSetType, Cmd::NoDataSet)});
    EXPECT_TRUE(association_.WriteMessage(command, nullptr));
  }
  Response Next() {
    Response r;
    DcmObj command;
    if (!association_.Read(command)) return r;
    r.status = command.GetUS(0x0000, Cmd::Status);
    r.comment = command.GetString(0x0000, Cmd::ErrorComment);
    if (const DcmTag* at = command.Find(0x0000, Cmd::OffendingElement); at && at->Length == 4)
      r.offending = static_cast<std::uint32_t>(at->Data[0] | at->Data[1] << 8) << 16 | (at->Data[2] | at->Data[3] << 8);
    if (command.GetUS(0x0000, Cmd::CommandDataSetType) != Cmd::NoDataSet && !association_.Read(r.identifier))
      r.status = -1;
    return r;
  }
  // Reads up to the final response; `cancelAfter` pendings, when given, are
  // followed by a C-CANCEL-RQ of `messageID`.
  Answer ReadAnswer(std::uint16_t messageID = 0, int cancelAfter = -1) {
    Answer a;
    for (;;) {
      Response r = Next();
      if (r.status != 0xFF00 && r.status != 0xFF01) {
        a.last = std::move(r);
        return a;
      }
      a.pendingStatuses.push_back(r.status);
      if (a.matches.size() < 10) a.matches.push_back(std::move(r.identifier));
      if (++a.pendings == cancelAfter) Cancel(messageID);
    }
  }
  Answer Query(DcmObj& identifier) {
    Find(identifier);
    return ReadAnswer();
  }
  bool Echo() {
    association_.pdata.StoredPresentationContextID = association_.AcceptedPresentationContexts.at(1).PresentationContextID;
    DcmObj command = MakeCommandSet({CommandUID(Cmd::AffectedSOPClassUID, UID_Verification),
                                     CommandUS(Cmd::CommandField, Cmd::C_ECHO_RQ), CommandUS(Cmd::MessageID, 7),
                                     CommandUS(Cmd::CommandDataSetType, Cmd::NoDataSet)});
    DcmObj answer;
    return association_.WriteMessage(command, nullptr) && association_.Read(answer) &&
           answer.GetUS(0x0000, Cmd::Status) == 0;
  }

 private:
  PDU_Service association_;
  bool connected_ = false;
};

DcmTag Text(std::uint16_t group, std::uint16_t element, const std::string& value) { return DcmTag(group, element, value); }
DcmTag Empty(std::uint16_t group, std::uint16_t element) { return DcmTag(group, element, 0, nullptr); }

// A sequence of `items` items, each holding `elements` (copied).
std::unique_ptr<DcmObj> Sequence(int items, const std::vector<DcmTag>& elements, bool undefinedLength) {
  auto sequence = std::make_unique<DcmObj>();
  for (int i = 0; i < items; ++i) {
    auto item = std::make_unique<DcmObj>();
    for (const DcmTag& t : elements) item->Add(t);
    item->Header.Length = undefinedLength ? UndefinedLength : item->EncodedLength();
    sequence->AddSequence(0xFFFE, 0xE000, std::move(item));
  }
  sequence->Header.Length = undefinedLength ? UndefinedLength : sequence->EncodedLength();
  return sequence;
}

const DcmObj& StepItem(const DcmObj& response) {
  for (const DcmEntry& e : response.Entries)
    if (e.IsObj() && e.Obj->Header.Is(0x0040, 0x0100) && e.Obj->Count() == 1) return *e.Obj->Entries[0].Obj;
  static const DcmObj none;
  return none;
}

}  // namespace

class WorklistAnswers : public RunningServer {
 protected:
  // `count` CT entries at CT01 on 20270108, accession numbers N00001...,
  // with long values so that an answer outgrows the socket buffers.
  void Fill(int count) {
    SQLdb db("quillat", SQLdb::ReadWrite);
    ASSERT_TRUE(db.IsOpen);
    const std::string text64 = "'" + std::string(64, 'X') + "'";
    // `prefix` and the row number in five digits.
    const auto numbered = [&](const std::string& prefix) {
      return db.Engine() == SqlEngine::PostgreSQL ? "'" + prefix + "' || lpad(i::text, 5, '0')"
                                                  : "printf('" + prefix + "%05d', i)";
    };
    ASSERT_EQ(db.Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                      std::to_string(count) +
                      ") INSERT INTO Worklist (AccessionNumber, PatientName, PatientID, Modality, SPSDate, SPSTime, "
                      "SPSStatus, ScheduledStation, SPSID, StudyInstanceUID, MedicalAlerts, PatientState, "
                      "PatientTransport, RequestedProcedureDescription) SELECT " + numbered("N") + ", " +
                      numbered("PATIENT^") + ", " + numbered("ID") + ", 'CT', '20270108', '093000', 'SCHEDULED', "
                      "'CT01', " + numbered("S") + ", '1.2.3.' || i, " +
                      text64 + ", " + text64 + ", " + text64 + ", " + text64 + " FROM n"),
              0)
        << db.ErrorText;
  }
  static DcmObj LongQuery() {
    DcmObj id;
    for (auto [g, e] : {std::pair{0x0008, 0x0050}, {0x0010, 0x0010}, {0x0010, 0x0020}, {0x0010, 0x2000},
                        {0x0010, 0x4000}, {0x0020, 0x000D}, {0x0032, 0x1060}, {0x0040, 0x1004}})
      id.Add(Empty(static_cast<std::uint16_t>(g), static_cast<std::uint16_t>(e)));
    return id;
  }
};

TEST_F(WorklistAnswers, StatusesAndShapesOfTheAnswer) {
  Fill(3);
  Start();
  RawModality modality(dicomPort_);
  ASSERT_TRUE(modality.Connected());
  struct Case {
    const char* name;
    std::function<void(DcmObj&)> build;
    int pendings;
    int pendingStatus;
    int finalStatus;
    std::uint32_t offending;
    const char* comment;
  };
  const std::vector<Case> cases = {
      {"zero-item step sequence",
       [](DcmObj& id) { id.AddSequence(0x0040, 0x0100, Sequence(0, {}, true)); }, 3, 0xFF00, 0, 0, ""},
      {"empty step sequence", [](DcmObj& id) { id.Add(DcmTag(0x0040, 0x0100, 0, nullptr, "SQ")); }, 3, 0xFF00, 0, 0, ""},
      {"two step items",
       [](DcmObj& id) { id.AddSequence(0x0040, 0x0100, Sequence(2, {Text(0x0008, 0x0060, "CT")}, false)); }, 0, 0,
       0xA900, 0x00400100, "more than one item"},
      {"a date that is none",
       [](DcmObj& id) { id.AddSequence(0x0040, 0x0100, Sequence(1, {Text(0x0040, 0x0002, "TOMORROW")}, false)); },
       0, 0, 0xC000, 0x00400002, "TOMORROW"},
      {"a key the server does not match on",
       [](DcmObj& id) { id.AddSequence(0x0040, 0x0100, Sequence(1, {Text(0x0040, 0x0011, "ROOM1")}, true)); }, 3,
       0xFF01, 0, 0, ""},
      {"alerts sent with a value",
       [](DcmObj& id) { id.Set(Text(0x0010, 0x2000, "NONE")); }, 3, 0xFF01, 0, 0, ""},
  };
  for (const Case& c : cases) {
    DcmObj id;
    id.Add(Empty(0x0008, 0x0050));
    c.build(id);
    const Answer a = modality.Query(id);
    EXPECT_EQ(a.pendings, c.pendings) << c.name;
    for (int status : a.pendingStatuses) EXPECT_EQ(status, c.pendingStatus) << c.name;
    EXPECT_EQ(a.last.status, c.finalStatus) << c.name;
    EXPECT_EQ(a.last.offending, c.offending) << c.name;
    EXPECT_NE(a.last.comment.find(c.comment), std::string::npos) << c.name << ": " << a.last.comment;
    if (std::string(c.name).find("step sequence") != std::string::npos && !a.matches.empty()) {
      // Every step attribute the server keeps, filled from the entry.
      const DcmObj& step = StepItem(a.matches[0]);
      ASSERT_EQ(step.Count(), 9u) << c.name;
      EXPECT_EQ(step.GetString(0x0008, 0x0060), "CT");
      EXPECT_EQ(step.GetString(0x0040, 0x0001), "CT01");
      EXPECT_EQ(step.GetString(0x0040, 0x0002), "20270108");
      EXPECT_EQ(step.GetString(0x0040, 0x0003), "093000");
      EXPECT_EQ(step.GetString(0x0040, 0x0010), "CT01");
      EXPECT_EQ(step.GetString(0x0040, 0x0020), "SCHEDULED");
    }
    if (c.pendingStatus == 0xFF01 && !a.matches.empty()) {
      // Answered from the entry: stored alerts, and no location at all.
      const DcmTag* alerts = a.matches[0].Find(0x0010, 0x2000);
      if (alerts) {
        EXPECT_EQ(alerts->GetString(), std::string(64, 'X'));
      }
      const DcmTag* location = StepItem(a.matches[0]).Find(0x0040, 0x0011);
      if (location) {
        EXPECT_EQ(location->Length, 0u);
      }
      EXPECT_TRUE(alerts || location) << c.name;
    }
  }
  EXPECT_TRUE(modality.Echo()) << "the association must stay usable";
  const std::string log = ServerLog();
  EXPECT_NE(log.find("WARNING, Worklist query refused with status 0xC000: not a date or date range: TOMORROW (0040,0002)"),
            std::string::npos) << log;
  EXPECT_NE(log.find("WARNING, Worklist query keys not matched on: (0040,0011); pending status 0xFF01"), std::string::npos);
}

TEST_F(WorklistAnswers, CancelBeforeDuringAndAfterTheAnswer) {
  const int total = 20000;
  Fill(total);
  Start();
  RawModality modality(dicomPort_);
  ASSERT_TRUE(modality.Connected());

  DcmObj query = LongQuery();
  std::uint16_t id = modality.Find(query);  // before: the cancel follows the request at once
  modality.Cancel(id);
  Answer a = modality.ReadAnswer();
  EXPECT_EQ(a.last.status, 0xFE00);
  EXPECT_LT(a.pendings, total);

  query = LongQuery();
  id = modality.Find(query);  // during: after the first pending
  a = modality.ReadAnswer(id, 1);
  EXPECT_EQ(a.last.status, 0xFE00);
  EXPECT_GE(a.pendings, 1);
  EXPECT_LT(a.pendings, total);

  query = LongQuery();
  query.Set(Text(0x0008, 0x0050, "N00007"));
  id = modality.Find(query);  // after: the answer is complete, the cancel changes nothing
  a = modality.ReadAnswer();
  EXPECT_EQ(a.pendings, 1);
  EXPECT_EQ(a.last.status, 0);
  modality.Cancel(id);
  EXPECT_TRUE(modality.Echo()) << "the association must stay open";
  EXPECT_TRUE(instance_->WaitForLog("INFO, C-CANCEL-RQ after the final response ignored", 1, 5000)) << ServerLog();
  EXPECT_EQ(CountLines(ServerLog(), "INFO, CFind, C-CANCEL-RQ for message"), 2);
}

TEST_F(WorklistAnswers, DatabaseFailureIsAnsweredAndTheAssociationGoesOn) {
  SQLITE_ONLY("moves the database file away");
  Fill(2);
  Start();
  RawModality modality(dicomPort_);
  ASSERT_TRUE(modality.Connected());
  const std::string db = home_ + "database/quillat.db";
  ASSERT_EQ(std::rename(db.c_str(), (db + ".away").c_str()), 0);
  DcmObj query = LongQuery();
  Answer a = modality.Query(query);
  EXPECT_EQ(a.pendings, 0);
  EXPECT_EQ(a.last.status, 0xC001);
  EXPECT_EQ(a.last.comment, "worklist database unavailable");
  ASSERT_EQ(std::rename((db + ".away").c_str(), db.c_str()), 0);
  query = LongQuery();
  a = modality.Query(query);
  EXPECT_EQ(a.pendings, 2);
  EXPECT_EQ(a.last.status, 0);
  const std::string log = ServerLog();
  EXPECT_NE(log.find("ERROR, Couldn't open quillat database"), std::string::npos) << log;
  EXPECT_NE(log.find("ERROR, Querying Database"), std::string::npos) << log;
}

TEST_F(WorklistAnswers, MaxAnswersEndsALongAnswerOutOfResources) {
  Fill(12);
  ASSERT_EQ(instance_->Configure("MaxAnswers", "5"), "");
  Start();
  RawModality modality(dicomPort_);
  ASSERT_TRUE(modality.Connected());
  DcmObj query = LongQuery();
  Answer a = modality.Query(query);
  EXPECT_EQ(a.pendings, 5);
  EXPECT_EQ(a.last.status, 0xA700);
  EXPECT_EQ(a.last.comment, "more than 5 matches; narrow the query");
  query = LongQuery();
  query.Set(Text(0x0008, 0x0060, "CT"));
  query.Set(Text(0x0020, 0x000D, "1.2.3.1\\1.2.3.2"));
  a = modality.Query(query);  // under the limit: complete
  EXPECT_EQ(a.pendings, 2);
  EXPECT_EQ(a.last.status, 0);
  EXPECT_NE(ServerLog().find("WARNING, Worklist answer stopped after 5 of 12 matches (MaxAnswers)"), std::string::npos);
}

}  // namespace tarvelin
