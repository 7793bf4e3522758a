// The character set of worklist answers as dcmtk's findscu receives them and
// dcmdump decodes them: the request's (0008,0005) when it names a set the
// server converts, else the station's setting, else DefaultCharSet; the
// stored name answered in that set's bytes under that set's label, "?" for
// what the set lacks. Key values are read in the request's set.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "running_server.h"

namespace tarvelin {

namespace {

// Patient name stored as ISO 8859-1 text: MÜLLER^JÖRG.
const std::string StoredName = "M\xDCLLER^J\xD6RG";
const std::string Utf8Name = "M\xC3\x9CLLER^J\xC3\x96RG";

WorklistDB Entry(const std::string& accession, const std::string& name) {
  WorklistDB e;
  e.AccessionNumber = accession;
  e.PatientName = name;
  e.PatientID = "P" + accession;
  e.Modality = "CT";
  e.ScheduledStation = "CT01";
  e.SPSDate = "20270108";
  e.SPSTime = "093000";
  e.SPSStatus = "SCHEDULED";
  e.StudyInstanceUID = "1.2.826.0.1.3680043.9.7133.2." + accession.substr(1);
  e.SPSID = "SPS" + accession;
  return e;
}

std::string FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

class WorklistCharsets : public RunningServer {
 protected:
  void SetUp() override {
    RunningServer::SetUp();
    Insert(Entry("A1", StoredName));
    Insert(Entry("A2", "SMITH^JOHN"));
    std::ofstream(home_ + "TRVGUI.ini", std::ios::app) << "\r\n[StationCharSet]\r\nUTF8CT=ISO_IR 192\r\nODDCT=KOI8-R\r\n";
    Start();
  }

  struct Answer {
    PeerResult find;
    int responses = 0;
    std::string first;      // the first response file's bytes
    std::string firstDump;  // dcmdump of it, as received
    std::string firstUtf8;  // dcmdump +U8 of it: the values decoded by their label
  };

  // findscu with `keys` from `callingAE`; the responses extracted to files.
  Answer Find(const std::string& callingAE, const std::string& keys) {
    const std::string dir = home_ + "rsp" + std::to_string(++queries_) + "/";
    std::filesystem::create_directory(dir);
    Answer a;
    a.find = Findscu("-aet " + callingAE + " -X -od " + ShellQuote(dir) + " " + keys);
    for (const auto& file : std::filesystem::directory_iterator(dir)) a.responses += file.is_regular_file();
    if (a.responses > 0) {
      a.first = FileBytes(dir + "rsp0001.dcm");
      a.firstDump = RunPeer("dcmdump " + ShellQuote(dir + "rsp0001.dcm")).Output;
      a.firstUtf8 = RunPeer("dcmdump +U8 " + ShellQuote(dir + "rsp0001.dcm")).Output;
    }
    return a;
  }

  int queries_ = 0;
};

TEST_F(WorklistCharsets, StoredNameByRequestedSet) {
  const struct {
    const char* CallingAE;
    const char* Requested;  // (0008,0005) sent; nullptr: not sent
    const char* Label;      // answered (0008,0005)
    std::string Bytes;      // the name's bytes in the answer
    std::string Decoded;    // the name as dcmdump decodes it by the label
  } cases[] = {
      {"LATINCT", nullptr, "ISO_IR 100", StoredName, Utf8Name},
      {"LATINCT", "", "ISO_IR 100", StoredName, Utf8Name},  // an empty value asks, it names no set
      {"LATINCT", "ISO_IR 100", "ISO_IR 100", StoredName, Utf8Name},
      {"LATINCT", "ISO_IR 192", "ISO_IR 192", Utf8Name, Utf8Name},
      {"LATINCT", "ISO_IR 148", "ISO_IR 148", StoredName, Utf8Name},  // Latin-5 has Ü and Ö where Latin-1 has them
      {"LATINCT", "ISO_IR 144", "ISO_IR 144", "M?LLER^J?RG", "M?LLER^J?RG"},
      {"LATINCT", "ISO_IR 6", "ISO_IR 6", "M?LLER^J?RG", "M?LLER^J?RG"},
      {"LATINCT", "ISO 2022 IR 87", "ISO_IR 100", StoredName, Utf8Name},  // not converted: the default
      {"UTF8CT", nullptr, "ISO_IR 192", Utf8Name, Utf8Name},               // the station's setting
      {"UTF8CT", "ISO_IR 100", "ISO_IR 100", StoredName, Utf8Name},        // the request's set first
      {"ODDCT", nullptr, "ISO_IR 100", StoredName, Utf8Name},              // a refused setting: the default
  };
  for (const auto& c : cases) {
    std::string keys = "-k 0010,0010=M* -k 0008,0050";
    if (c.Requested) keys += " -k " + ShellQuote(std::string("0008,0005=") + c.Requested);
    const Answer a = Find(c.CallingAE, keys);
    const std::string what = std::string(c.CallingAE) + " " + (c.Requested ? c.Requested : "(none)");
    ASSERT_EQ(a.find.ExitCode, 0) << what << "\n" << a.find.Output;
    ASSERT_EQ(a.responses, 1) << what << "\n" << a.find.Output;
    EXPECT_NE(a.first.find(c.Bytes), std::string::npos) << what;
    EXPECT_NE(a.firstDump.find("(0008,0005) CS [" + std::string(c.Label) + "]"), std::string::npos) << what << "\n" << a.firstDump;
    EXPECT_NE(a.firstUtf8.find("(0010,0010) PN [" + c.Decoded + "]"), std::string::npos) << what << "\n" << a.firstUtf8;
  }
  const std::string log = ServerLog();
  EXPECT_EQ(CountLines(log, "WARNING, CreateWLResponse, (0010,0010) holds 2 character(s) that ISO_IR 144 lacks; answered as ?"), 1);
  EXPECT_EQ(CountLines(log, "WARNING, Worklist query character set ISO 2022 IR 87 not supported; answered in ISO_IR 100"), 1);
  EXPECT_EQ(CountLines(log, "ERROR, StationCharSet oddct KOI8-R refused: not a supported character set; ISO_IR 100 is used"), 1);
}

TEST_F(WorklistCharsets, KeysAreReadInTheRequestsSet) {
  const struct {
    const char* Requested;
    std::string Name;  // the Patient's Name key's bytes
    int Matches;       // -1: refused
  } cases[] = {
      {"ISO_IR 192", "M\xC3\x9CLLER*", 1},
      {"ISO_IR 100", "M\xDCLLER*", 1},
      {nullptr, "M\xDCLLER*", 1},
      {nullptr, "M\xC3\x9CLLER*", 0},        // UTF-8 bytes read as Latin-1 are another name
      {"ISO_IR 192", "M\xDCLLER*", -1},       // not UTF-8: refused, not guessed
      {"ISO_IR 192", "\xD0\x96*", 0},         // no stored name holds Ж; never the wildcard "?*"
      {"ISO_IR 192", "m\xC3\x9C" "ller^j\xC3\x96rg", 1},  // names compare without case
  };
  for (const auto& c : cases) {
    std::string keys = "-k 0008,0050 -k " + ShellQuote("0010,0010=" + c.Name);
    if (c.Requested) keys += " -k " + ShellQuote(std::string("0008,0005=") + c.Requested);
    const Answer a = Find("LATINCT", keys);
    ASSERT_EQ(a.find.ExitCode, 0) << c.Name << "\n" << a.find.Output;
    if (c.Matches < 0) {
      EXPECT_EQ(a.responses, 0) << c.Name;
      EXPECT_NE(a.find.Output.find("(Failed: UnableToProcess)"), std::string::npos) << a.find.Output;
    } else {
      EXPECT_EQ(a.responses, c.Matches) << c.Name << "\n" << a.find.Output;
    }
  }
}

}  // namespace

}  // namespace tarvelin
