// The order drop folder against a real database: HL7 and XML files in,
// result files out, input files consumed.
#include "hl7/drop_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <thread>

#include "db/stored_text.h"
#include "dicom/uid.h"
#include "hl7/hl7_parser.h"
#include "hl7/hl7_test_support.h"
#include "hl7/text_in_charset.h"
#include "service/settings.h"
#include "support/log_file.h"
#include "support/pinned_clock.h"

namespace tarvelin {

namespace fs = std::filesystem;

namespace {

// `utf8` as the worklist stores it; nothing when its set cannot hold it.
std::optional<std::string> StoredForm(const std::string& utf8) {
  std::string out;
  if (WriteFromUtf8(utf8, StoredTextCharset, out) > 0) return std::nullopt;
  return out;
}

std::string Order(const std::string& orderControl, const std::string& accession) {
  TestOrder order;
  order.orderControl = orderControl;
  order.accession = accession;
  return order.Text();
}

class DropFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(instance.Ready());
    ServerSettings.HL7InFolder = instance.Home() + "HL7in/";
    ServerSettings.HL7OutFolder = instance.Home() + "HL7out/";
    fs::create_directories(ServerSettings.HL7InFolder);
    fs::create_directories(ServerSettings.HL7OutFolder);
  }
  // An input file written a while ago (a writer that has finished).
  void Drop(const std::string& name, const std::string& content, int secondsAgo = 10) {
    const std::string path = ServerSettings.HL7InFolder + name;
    std::ofstream(path, std::ios::binary) << content;
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(secondsAgo));
  }
  std::string Result(const std::string& name) { return ReadFile(ServerSettings.HL7OutFolder + name); }
  bool Waiting(const std::string& name) { return fs::exists(ServerSettings.HL7InFolder + name); }

  InstanceFolder instance;
  PinnedClock pinned{2024, 3, 5, 14, 30, 15};
};

TEST_F(DropFolder, EachFileOfAScanGetsItsResultAndIsConsumed) {
  ASSERT_EQ(ProcessHL7(Order("NW", "CANCEL1")).ack, AckCode::AA);
  Drop("new.hl7", Order("NW", "NEW1"));
  Drop("cancel.hl7", Order("CA", "CANCEL1"));
  Drop("unknown.hl7", Order("CA", "NOSUCH"));
  Drop("order.xml",
       R"(<Order PatientID="P7" PatientsName="ROE^JANE" AccessionNumber="X1" Modality="MR" )"
       R"(ScheduledProcedureStepStartDate="20240306" ScheduledProcedureStepStartTime="0930" StudyStatus="SCHEDULED"/>)");
  Drop("nostatus.xml", R"(<Order PatientID="P8" PatientsName="ROE^JIM" AccessionNumber="X2" Modality="MR"/>)");
  Drop("ORDER.XML", R"(<Order PatientID="P9" PatientsName="ROE^JOE" AccessionNumber="X3" Modality="MR"/>)");
  Drop("duplicate.xml", R"(<Order PatientID="P7" PatientsName="ROE^JANE" AccessionNumber="X1" Modality="CT"/>)", 5);
  Drop("writing.hl7", Order("NW", "LATE1"), 0);
  fs::create_directories(ServerSettings.HL7InFolder + "sub");

  CheckHL7Messages();

  const std::map<std::string, std::string> results = {
      {"new.hl7", "Message Processed"},
      {"cancel.hl7", "Message Processed"},
      {"unknown.hl7", "ERROR processing HL7 Message"},
      {"order.xml", "Message Processed"},
      {"nostatus.xml", "Message Processed"},
      {"ORDER.XML", "ERROR processing HL7 Message"},
      {"duplicate.xml", "ERROR processing XML document"},
  };
  const std::string errors = instance.Home() + "HL7error/";
  for (const auto& [name, text] : results) {
    EXPECT_EQ(Result(name), text + "\r\n") << name;
    EXPECT_FALSE(Waiting(name)) << name;
    // A file that was not processed is kept, with its reason, never deleted.
    const bool failed = text != "Message Processed";
    EXPECT_EQ(fs::exists(errors + name), failed) << name;
    EXPECT_EQ(ReadFile(errors + name + ".reason"), failed ? text + "\r\n" : "") << name;
    EXPECT_NE(instance.Log().find("INFO, HL7FileProcess, " + text), std::string::npos) << name;
  }
  EXPECT_NE(instance.Log().find("ERROR, ProcessXML, proc->Insert, status=1"), std::string::npos);
  EXPECT_EQ(instance.Column("NEW1", "SPSStatus"), "SCHEDULED");
  EXPECT_EQ(instance.Row("CANCEL1"), "");
  EXPECT_EQ(instance.Row("X3"), "");
  EXPECT_EQ(instance.Column("X1", "Modality"), "MR");  // the duplicate changed nothing
  EXPECT_EQ(instance.Column("X1", "SPSStatus"), "SCHEDULED");
  EXPECT_EQ(instance.Column("X1", "StudyInstanceUID").rfind(UIDRoot() + ".1.", 0), 0u);
  EXPECT_EQ(instance.Column("X2", "SPSStatus"), "");  // never offered to modalities, never aged

  // A file modified less than three seconds ago may be half-written: it waits.
  EXPECT_TRUE(Waiting("writing.hl7"));
  EXPECT_EQ(Result("writing.hl7"), "");
  EXPECT_EQ(instance.Row("LATE1"), "");
  EXPECT_TRUE(fs::is_directory(ServerSettings.HL7InFolder + "sub"));

  // The same name failing again keeps both files.
  Drop("unknown.hl7", Order("CA", "NOSUCH2"));
  CheckHL7Messages();
  EXPECT_NE(ReadFile(errors + "unknown.hl7").find("NOSUCH|"), std::string::npos);
  EXPECT_NE(ReadFile(errors + "unknown.hl7.1").find("NOSUCH2"), std::string::npos);
}

TEST_F(DropFolder, XmlAttributesOnTheirOwnLinesAndEntitiesAreRead) {
  Drop("lines.xml",
       "<?xml version=\"1.0\"?>\r\n<Order\r\nPatientID=\"P&#49;&#x32;\"\n\tPatientsName=\"O&apos;BRIEN^ANN\"\n"
       "AccessionNumber=\"L1\"\nModality=\"CT\"\nRequestedProcedureDescription=\"&lt;knee&gt; &quot;left&quot; "
       "&amp; R&D &copy; &#233;&#xE0;\"\nStudyStatus=\"SCHEDULED\"/>\r\n");
  CheckHL7Messages();
  EXPECT_EQ(Result("lines.xml"), "Message Processed\r\n");
  EXPECT_EQ(instance.Column("L1", "PatientID"), "P12");
  EXPECT_EQ(instance.Column("L1", "PatientName"), "O'BRIEN^ANN");
  // Entities decoded; a raw "&" and an unknown entity stay as written;
  // characters are stored in the worklist's set.
  EXPECT_EQ(instance.Column("L1", "RequestedProcedureDescription"),
            StoredForm("<knee> \"left\" & R&D &copy; éà").value_or("(not storable)"));
  EXPECT_EQ(instance.Column("L1", "SPSStatus"), "SCHEDULED");
}

TEST_F(DropFolder, TwoScansAtOnceTakeEachFileOnce) {
  for (int i = 0; i < 20; ++i) Drop("order" + std::to_string(i) + ".hl7", Order("NW", "TWICE" + std::to_string(i)));
  std::thread other(CheckHL7Messages);
  CheckHL7Messages();
  other.join();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(Result("order" + std::to_string(i) + ".hl7"), "Message Processed\r\n") << i;
  EXPECT_EQ(CountOf(instance.Log(), "INFO, HL7FileProcess, "), 20);
}

// An HL7 order file with MSH-18 `msh18` and the patient name `name`.
std::string HL7File(const std::string& msh18, const std::string& name, const std::string& accession) {
  return MshSegment("ORM^O01", accession) + "||||||" + msh18 + "\r" +
         Segment("PID", {{3, "12345^^^HOSP"}, {5, name}}) + "\r" + Segment("ORC", {{1, "NW"}}) + "\r" +
         Segment("OBR", {{18, accession}, {24, "CT"}}) + "\r";
}

std::string XmlFile(const std::string& declaration, const std::string& name, const std::string& accession) {
  return declaration + "<Order PatientID=\"P1\" PatientsName=\"" + name + "\" AccessionNumber=\"" + accession +
         "\" Modality=\"CT\" StudyStatus=\"SCHEDULED\"/>\r\n";
}

TEST_F(DropFolder, FilesAreReadInTheEncodingTheyDeclare) {
  const std::string utf8Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
  const std::string bom = "\xEF\xBB\xBF";
  struct Case {
    const char* file;
    const char* accession;
    std::string content;
    std::string name;        // UTF-8 of the stored PatientName; "" when refused
    std::string logged = "";  // a line the log holds
  };
  const Case cases[] = {
      {"utf8.xml", "E1", XmlFile(utf8Declaration, "DVO\xC5\x98\xC3\x81K", "E1"), "DVOŘÁK"},
      {"utf8-latin.xml", "E2", XmlFile(utf8Declaration, "M\xC3\x9CLLER", "E2"), "MÜLLER"},
      // Lower case and single quotes, as Python's ElementTree writes it.
      {"latin2.xml", "E3", XmlFile("<?xml version='1.0' encoding='iso-8859-2'?>", "NOV\xC1K", "E3"), "NOVÁK"},
      {"bom.xml", "E4", bom + XmlFile("", "M\xC3\x9CLLER", "E4"), "MÜLLER"},
      {"undeclared-utf8.xml", "E5", XmlFile("", "M\xC3\x9CLLER", "E5"), "MÜLLER"},
      // Older exporters write the Windows code page without a declaration:
      // Latin-1 letters keep the very bytes they always stored.
      {"undeclared-latin1.xml", "E6", XmlFile("", "M\xDCLLER", "E6"), "MÜLLER",
       "undeclared-latin1.xml: no encoding declared and not UTF-8: read as windows-1252"},
      {"undeclared-1252.xml", "E7", XmlFile("", "\x8A" "EBESTA", "E7"), "ŠEBESTA"},
      {"references.xml", "E8", XmlFile("", "&#x158;EHO&#345;", "E8"), "ŘEHOř"},
      {"declared-utf8-latin1.xml", "E9", XmlFile(utf8Declaration, "M\xDCLLER", "E9"), "",
       "refused, nothing stored: bytes that are not valid UTF-8 text"},
      {"utf16.xml", "E10", std::string("\xFF\xFE<\0O\0", 6), "", "refused, nothing stored: UTF-16 is not read"},
      {"ebcdic.xml", "E11", XmlFile("<?xml version=\"1.0\" encoding=\"EBCDIC-US\"?>", "DOE", "E11"), "",
       "refused, nothing stored: encoding EBCDIC-US is not read"},
      {"utf8.hl7", "H1", HL7File("UNICODE UTF-8", "M\xC3\x9CLLER", "H1"), "MÜLLER"},
      {"latin1.hl7", "H2", HL7File("", "M\xDCLLER", "H2"), "MÜLLER"},
      {"bom.hl7", "H3", bom + HL7File("", "J\xC3\x96RG", "H3"), "JÖRG"},
      {"latin2.hl7", "H4", HL7File("8859/2", "\xA3UKASZ", "H4"), "ŁUKASZ"},
      {"bad.hl7", "H5", HL7File("UNICODE UTF-8", "M\xDCLLER", "H5"), "",
       "ERROR, ProcessHL7, message refused, nothing stored: PID-5 holds bytes that are not valid UNICODE UTF-8 text"},
  };
  for (const Case& c : cases) Drop(c.file, c.content);
  CheckHL7Messages();
  const std::string log = instance.Log();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const bool xml = fs::path(c.file).extension() == ".xml";
    const std::string accession = c.accession;
    const std::optional<std::string> stored = c.name.empty() ? std::nullopt : StoredForm(c.name);
    if (stored) {
      EXPECT_EQ(Result(c.file), "Message Processed\r\n");
      EXPECT_EQ(instance.Column(accession, "PatientName"), *stored);
    } else {
      // Not readable, or the worklist's set lacks a character: the file is
      // kept in HL7error/, nothing is stored.
      EXPECT_EQ(Result(c.file), xml ? "ERROR processing XML document\r\n" : "ERROR processing HL7 Message\r\n");
      EXPECT_TRUE(fs::exists(instance.Home() + "HL7error/" + c.file));
      EXPECT_EQ(instance.Column(accession, "PatientName"), "");
    }
    if (!c.logged.empty()) {
      EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    }
  }
}

}  // namespace

}  // namespace tarvelin
