// The running server answering dcmtk's findscu and an MPPS client built on
// dcmjs-dimse, both independent of this code base.
#include <filesystem>
#include <sstream>

#include "dicom/uid.h"
#include "dimse/cfind.h"
#include "dimse/command_set.h"
#include "net/pdu_service.h"
#include "platform/clock.h"
#include "running_server.h"
#include "support/mllp_peer.h"
#include "support/npm_packages.h"
#include "worklist_fixture.h"

namespace tarvelin {

namespace {

const std::string PeerDir = std::string(TARVELIN_SOURCE_DIR) + "/tests/worklist/mpps-peer";

std::string Today() {
  const std::tm t = LocalTime(Now());
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d", &t);
  return text;
}

WorklistDB Scheduled(const std::string& accession, const std::string& name, const std::string& modality,
                     const std::string& station, const std::string& date) {
  WorklistDB e;
  e.AccessionNumber = accession;
  e.PatientName = name;
  e.PatientID = "P" + accession;
  e.Modality = modality;
  e.ScheduledStation = station;
  e.SPSDate = date;
  e.SPSTime = "093000";
  e.SPSStatus = "SCHEDULED";
  e.StudyInstanceUID = "1.2.826.0.1.3680043.9.7133.1." + accession.substr(1);
  e.SPSID = "SPS" + accession;
  e.SPSDescription = "CT HEAD";
  return e;
}

// The keys a CT modality sends: Modality and date inside the (0040,0100) item.
std::string ModalityQuery(const std::string& date) {
  return "-k 0010,0010 -k 0008,0050 -k 0010,2000 -k " + ShellQuote("0040,0100[0].0008,0060=CT") + " -k " +
         ShellQuote("0040,0100[0].0040,0002=" + date) + " -k " + ShellQuote("0040,0100[0].0040,0007") +
         " -k " + ShellQuote("0040,0100[0].0040,0010=ROOM1");
}

// Runs the dcmjs-dimse client, which fails on any network error; its
// "match=..." and "status=0x.... uid=..." lines, joined by "\n".
std::string Dcmjs(int port, const std::string& arguments) {
  const PeerResult r = RunPeer("node " + ShellQuote(PeerDir + "/mpps_client.js") + " " + std::to_string(port) +
                               " " + arguments, 30);
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  std::istringstream lines(r.Output);
  std::string answer;
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("match=", 0) == 0 || line.rfind("status=", 0) == 0) answer += (answer.empty() ? "" : "\n") + line;
  return answer;
}

// The peer must be installed exactly as locked; a missing peer fails the test.
void InstallMppsPeer() { ASSERT_EQ(InstallNpmPackages(PeerDir, "dcmjs-dimse/package.json"), ""); }

}  // namespace

using WorklistEndToEnd = RunningServer;

TEST_F(WorklistEndToEnd, FindscuImplicitAndExplicitVR) {
  const std::string today = Today();
  Insert(Scheduled("A1", "ZED^ANNA", "CT", "CT01", today));
  WorklistDB coded = Scheduled("A2", "ADAMS^BOB", "CT", "CT01", today);
  coded.SPSDescription = "X1^Chest^L^CHEST PA";
  Insert(coded);
  Insert(Scheduled("A3", "MILLER^CARL", "CT", "CT02", today));
  WorklistDB done = Scheduled("A4", "BAKER^DORA", "CT", "CT01", today);
  done.SPSStatus = "COMPLETED";
  Insert(done);
  Insert(Scheduled("A5", "CLARK^EVE", "MR", "MR01", today));
  Start();

  for (const std::string& syntax : {std::string("-xi"), std::string("-xe")}) {
    const PeerResult r = Findscu(syntax + " " + ModalityQuery(today));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    // ROOM1 in (0040,0010) restricts nothing: the pendings say so.
    EXPECT_EQ(CountLines(r.Output, "(Pending: WarningUnsupportedOptionalKeys)"), 3) << r.Output;
    EXPECT_EQ(CountLines(r.Output, "Used TransferSyntax: Little Endian Implicit"), syntax == "-xi" ? 3 : 0);
    const auto adams = r.Output.find("[ADAMS^BOB");
    const auto miller = r.Output.find("[MILLER^CARL");
    const auto zed = r.Output.find("[ZED^ANNA");
    EXPECT_TRUE(adams < miller && miller < zed) << r.Output;
    EXPECT_EQ(r.Output.find("BAKER^DORA"), std::string::npos);
    // Specific Character Set added first, in tag order, in every response.
    EXPECT_EQ(CountLines(r.Output, "(0008,0005) CS [ISO_IR 100]"), 3);
    const auto response = r.Output.find("Find Response: 1 (Pending");
    EXPECT_LT(r.Output.find("(0008,0005)", response), r.Output.find("(0008,0050)", response));
    EXPECT_EQ(CountLines(r.Output, "[CHEST PA]"), 1);
    // The station name comes from the entry, never from the request.
    EXPECT_EQ(CountLines(r.Output, "(0040,0010) SH [CT01]"), 2);
    EXPECT_EQ(CountLines(r.Output, "(0040,0010) SH [CT02]"), 1);
    EXPECT_EQ(CountLines(r.Output, "(0010,2000) LO (no value available)"), 4);
    EXPECT_EQ(CountLines(r.Output, "Final Find Response (Success)"), 1) << r.Output;
  }
  EXPECT_NE(ServerLog().find("INFO, WLQuery Count=3"), std::string::npos);
  EXPECT_NE(ServerLog().find("WARNING, Worklist query keys not matched on: (0040,0010); pending status 0xFF01"),
            std::string::npos);
}

TEST_F(WorklistEndToEnd, NoMatchGivesOnlyTheFinalResponse) {
  Insert(Scheduled("A1", "ZED^ANNA", "CT", "CT01", "20240101"));
  Start();
  const PeerResult r = Findscu(ModalityQuery("20240102"));
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_EQ(CountLines(r.Output, "(Pending)"), 0);
  EXPECT_EQ(CountLines(r.Output, "Final Find Response (Success)"), 1) << r.Output;
}

TEST_F(WorklistEndToEnd, StationFilterAndQuotedNames) {
  Insert(Scheduled("A1", "O'BRIEN^JOHN", "CT", "CT01", "20240101"));
  Insert(Scheduled("A2", "OBRIEN^JANE", "CT", "CT01", "20240101"));
  Insert(Scheduled("A3", "O'BRIEN^MARY", "MR", "CT01", "20240101"));
  Insert(Scheduled("A4", "O'BRIEN^PAT", "CT", "CT02", "20240101"));
  WriteStationFilter("CT01|CT\r\nMR09\r\n");
  Start();
  const std::string nameQuery = "-k " + ShellQuote("0010,0010=O'BRIEN*") + " -k 0008,0050";

  PeerResult r = Findscu("-aet CT01 " + nameQuery);
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_EQ(CountLines(r.Output, "(Pending)"), 1) << r.Output;
  EXPECT_EQ(CountLines(r.Output, "[O'BRIEN^JOHN"), 1);

  r = Findscu("-aet MR09 " + nameQuery);  // a line without modality shuts it out
  EXPECT_EQ(CountLines(r.Output, "(Pending)"), 0) << r.Output;

  r = Findscu("-aet OTHER " + nameQuery);  // no line: no restriction
  EXPECT_EQ(CountLines(r.Output, "(Pending)"), 3) << r.Output;

  WriteStationFilter("CT01|MR\n");  // read again at every query
  r = Findscu("-aet CT01 " + nameQuery);
  EXPECT_EQ(CountLines(r.Output, "(Pending)"), 1) << r.Output;
  EXPECT_EQ(CountLines(r.Output, "[O'BRIEN^MARY"), 1);
}

TEST_F(WorklistEndToEnd, PerformedProcedureStepsFromAnIndependentClient) {
  InstallMppsPeer();
  Insert(Scheduled("M1", "DOE^JOHN", "CT", "CT01", "20240101"));
  Insert(Scheduled("M2", "ROE^JANE", "CT", "CT01", "20240101"));
  Start();
  const std::string study1 = "1.2.826.0.1.3680043.9.7133.1.1";
  const std::string step = "1.2.826.0.1.3680043.9.7133.77.1";

  // dcmjs-dimse sends (0040,0270) with undefined lengths.
  EXPECT_EQ(Dcmjs(dicomPort_, "create " + step + " 'IN PROGRESS' M1 " + study1 + " SPSM1"),
            "status=0x0000 uid=" + step);
  EXPECT_EQ(Column("M1", "SPSStatus"), "IN PROGRESS");
  EXPECT_EQ(Column("M1", "SOPInstanceUID"), step);
  const PeerResult query = Findscu("-k 0008,0050=M1");
  EXPECT_EQ(CountLines(query.Output, "(Pending)"), 0) << query.Output;  // no longer offered

  EXPECT_EQ(Dcmjs(dicomPort_, "set " + step + " -"), "status=0x0000 uid=" + step);
  EXPECT_EQ(Column("M1", "SPSStatus"), "IN PROGRESS");
  EXPECT_EQ(Dcmjs(dicomPort_, "set " + step + " COMPLETED"), "status=0x0000 uid=" + step);
  EXPECT_EQ(Column("M1", "SPSStatus"), "COMPLETED");

  const std::string generated = Dcmjs(dicomPort_, "create - 'IN PROGRESS' M2 1.2.826.0.1.3680043.9.7133.1.2 SPSM2");
  ASSERT_EQ(generated.rfind("status=0x0000 uid=", 0), 0u) << generated;
  const std::string uid = generated.substr(std::string("status=0x0000 uid=").size());
  EXPECT_FALSE(uid.empty());
  EXPECT_EQ(Column("M2", "SOPInstanceUID"), uid);

  // A step must start IN PROGRESS; a finished step takes no N-SET.
  EXPECT_EQ(Dcmjs(dicomPort_, "create 1.2.3.4 DISCONTINUED M2 9.9.9 SPSM2"), "status=0x0106 uid=1.2.3.4");
  EXPECT_EQ(Dcmjs(dicomPort_, "set " + step + " DISCONTINUED"), "status=0x0110 uid=" + step);
  EXPECT_EQ(Dcmjs(dicomPort_, "set 9.8.7 COMPLETED"), "status=0x0112 uid=9.8.7");
  EXPECT_EQ(Column("M1", "SPSStatus"), "COMPLETED");
  EXPECT_EQ(Column("M2", "SPSStatus"), "IN PROGRESS");

  // Echo and worklist query through the same client: it half-closes after the
  // release and takes a reset as a failure.
  EXPECT_EQ(Dcmjs(dicomPort_, "echo"), "status=0x0000 uid=");
  Insert(Scheduled("M3", "POE^EDGAR", "CT", "CT01", "20240101"));
  EXPECT_EQ(Dcmjs(dicomPort_, "find M3"), "match=M3\nstatus=0x0000 uid=");
}

TEST_F(WorklistEndToEnd, QueryThatCannotRunIsAnsweredWithAFailure) {
  SQLITE_ONLY("removes the database file");
  Start();
  std::filesystem::remove(home_ + "database/quillat.db");
  const PeerResult r = Findscu(ModalityQuery("20240101"));
  EXPECT_EQ(CountLines(r.Output, "(Pending)"), 0) << r.Output;
  EXPECT_NE(r.Output.find("Final Find Response (Failed: UnableToProcess)"), std::string::npos) << r.Output;
  const std::string log = ServerLog();
  EXPECT_NE(log.find("ERROR, Couldn't open quillat database"), std::string::npos) << log;
  EXPECT_NE(log.find("ERROR, Querying Database"), std::string::npos) << log;
  EXPECT_EQ(log.find("ERROR: Find RQ: Failed!"), std::string::npos) << log;
}

namespace {
// An ORM^O01 with one order: ORC-1 `control` (ORC-5 `orderStatus`), OBR-13
// `alerts`, OBR-18 `accession`, OBR-21 CT01, OBR-24 CT, ORC-7 today 09:30.
std::string Order(const std::string& control, const std::string& accession, const std::string& alerts = "",
                  const std::string& orderStatus = "") {
  std::string obr = "OBR";
  for (int field = 1; field <= 24; ++field) {
    obr += "|";
    if (field == 13) obr += alerts;
    if (field == 18) obr += accession;
    if (field == 21) obr += "CT01";
    if (field == 24) obr += "CT";
  }
  return "MSH|^~\\&|RIS|HOSP|TARVELIN|RAD|20240305||ORM^O01|" + control + accession + "|P|2.3.1\r"
         "PID|||P" + accession + "||DOE^JOHN\rORC|" + control + "||||" + orderStatus + "||^^^" + Today() +
         "0930\r" + obr + "\r";
}

std::string Msa(MllpPeer& ris, const std::string& message) {
  if (!ris.Send(Framed(message))) return "not sent";
  return MsaSegment(ris.ReadAck().value_or(""));
}
}  // namespace

TEST_F(WorklistEndToEnd, AnOrdersWholeLifeAsTheModalitySeesIt) {
  InstallMppsPeer();
  Start();
  MllpPeer ris(instance_->HL7Port());
  ASSERT_TRUE(ris.Connected());
  const std::string query = "-k 0008,0050=L1 -k 0010,2000 -k 0020,000D";
  auto offered = [&] { return CountLines(Findscu(query).Output, "(Pending)"); };

  ASSERT_EQ(Msa(ris, Order("NW", "L1")), "MSA|AA|NWL1");
  EXPECT_EQ(offered(), 1);
  const std::string study = Column("L1", "StudyInstanceUID");
  const std::string step = "1.2.826.0.1.3680043.9.7133.88.1";
  EXPECT_EQ(Dcmjs(dicomPort_, "create " + step + " 'IN PROGRESS' L1 " + study + " L1"), "status=0x0000 uid=" + step);
  EXPECT_EQ(offered(), 0);  // started: no second modality repeats the exam
  ASSERT_EQ(Msa(ris, Order("XO", "L1", "LATEX")), "MSA|AA|XOL1");
  EXPECT_EQ(Column("L1", "MedicalAlerts"), "LATEX");
  EXPECT_EQ(Column("L1", "SPSStatus"), "IN PROGRESS");
  EXPECT_EQ(Column("L1", "StudyInstanceUID"), study);
  EXPECT_EQ(Column("L1", "ScheduledStation"), "CT01");
  EXPECT_EQ(offered(), 0);
  EXPECT_EQ(Dcmjs(dicomPort_, "set " + step + " COMPLETED"), "status=0x0000 uid=" + step);
  EXPECT_EQ(Column("L1", "SPSStatus"), "COMPLETED");
  EXPECT_EQ(offered(), 0);

  // Order control against a step in each state.
  struct Case {
    const char* control;
    const char* orderStatus;
    const char* stored;
    const char* ack;    // MSA-1
    const char* after;  // status afterwards, "gone" when deleted
  };
  const Case cases[] = {
      {"XO", "", "SCHEDULED", "AA", "SCHEDULED"},      {"XO", "", "IN PROGRESS", "AA", "IN PROGRESS"},
      {"XO", "", "COMPLETED", "AA", "COMPLETED"},      {"CA", "", "SCHEDULED", "AA", "gone"},
      {"CA", "", "IN PROGRESS", "AA", "DISCONTINUED"}, {"CA", "", "COMPLETED", "AE", "COMPLETED"},
      {"DC", "", "SCHEDULED", "AA", "DISCONTINUED"},   {"DC", "", "IN PROGRESS", "AA", "DISCONTINUED"},
      {"DC", "", "COMPLETED", "AE", "COMPLETED"},      {"SC", "IP", "SCHEDULED", "AA", "IN PROGRESS"},
      {"SC", "CM", "IN PROGRESS", "AA", "COMPLETED"},  {"SC", "IP", "COMPLETED", "AE", "COMPLETED"},
      {"SC", "XX", "SCHEDULED", "AE", "SCHEDULED"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string accession = "K" + std::to_string(++n);
    SCOPED_TRACE(std::string(c.control) + " on " + c.stored);
    WorklistDB e = Scheduled(accession, "ROE^JANE", "CT", "CT01", Today());
    e.PatientID = "P" + accession;
    e.SPSStatus = c.stored;
    Insert(e);
    const std::string msa = Msa(ris, Order(c.control, accession, "", c.orderStatus));
    EXPECT_EQ(msa.substr(0, 6), std::string("MSA|") + c.ack) << msa;
    const std::string status = Column(accession, "SPSStatus");
    EXPECT_EQ(status == "<no row>" ? "gone" : status, c.after);
    if (status != "<no row>") {
      EXPECT_EQ(Column(accession, "StudyInstanceUID"), e.StudyInstanceUID);
    }
  }
}

// A raw client sends an identifier of ten thousand empty elements (80 KB,
// over MaxQueryBytes): the answer is a failure status, not an abort, and the
// same association then gets an ordinary query answered.
TEST_F(WorklistEndToEnd, OversizedIdentifierGetsAFailureStatusAndTheAssociationGoesOn) {
  Insert(Scheduled("Q1", "DOE^JOHN", "CT", "CT01", Today()));
  Start();
  PDU_Service pdu;
  pdu.assocRQ.SetCalledApTitle("TARVELIN");
  pdu.assocRQ.SetCallingApTitle("RAWCLIENT");
  PresentationContext context;
  context.SetAbstractSyntax(UID_ModalityWorklistFind);
  context.AddTransferSyntax(UID_ImplicitVRLittleEndian);
  pdu.assocRQ.AddPresentationContext(context);
  ASSERT_TRUE(pdu.Connect("127.0.0.1", std::to_string(dicomPort_))) << ServerLog();

  CFind find;
  DcmObj huge;
  for (std::uint16_t element = 0x1000; element < 0x1000 + 10000; ++element)
    huge.Add(RawElement(0x0011, element, ""));
  ASSERT_TRUE(find.WriteRQ(&pdu, huge, UID_ModalityWorklistFind));
  DcmObj none;
  EXPECT_EQ(find.ReadRSP(&pdu, none), Cmd::OutOfResources);

  DcmObj query;
  query.Add(RawElement(0x0008, 0x0050, "Q1"));
  query.Add(EmptyElement(0x0010, 0x0010));
  ASSERT_TRUE(find.WriteRQ(&pdu, query, UID_ModalityWorklistFind));
  DcmObj match;
  EXPECT_EQ(find.ReadRSP(&pdu, match), Cmd::Pending);
  EXPECT_EQ(match.GetString(0x0010, 0x0010), "DOE^JOHN");
  DcmObj last;
  EXPECT_EQ(find.ReadRSP(&pdu, last), Cmd::Success);
  pdu.Release();
  EXPECT_NE(ServerLog().find("ERROR, C-FIND identifier over 65536 bytes (MaxQueryBytes), refused with status A700"),
            std::string::npos)
      << ServerLog();
}

}  // namespace tarvelin
