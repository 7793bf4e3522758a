// The order drop folder against a real database: HL7 and XML files in,
// result files out, input files consumed.
#include "hl7/drop_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "dicom/uid.h"
#include "hl7/hl7_parser.h"
#include "hl7/hl7_test_support.h"
#include "service/settings.h"
#include "support/log_file.h"
#include "support/pinned_clock.h"

namespace tarvelin {

namespace fs = std::filesystem;

namespace {

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
       "&amp; R&D &copy; &#233;&#x20AC;\"\nStudyStatus=\"SCHEDULED\"/>\r\n");
  CheckHL7Messages();
  EXPECT_EQ(Result("lines.xml"), "Message Processed\r\n");
  EXPECT_EQ(instance.Column("L1", "PatientID"), "P12");
  EXPECT_EQ(instance.Column("L1", "PatientName"), "O'BRIEN^ANN");
  // Entities decoded; a raw "&" and an unknown entity stay as written;
  // characters become Windows-1252 bytes.
  EXPECT_EQ(instance.Column("L1", "RequestedProcedureDescription"), "<knee> \"left\" & R&D &copy; \xE9\x80");
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

}  // namespace

}  // namespace tarvelin
