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

// Patient name as stored (UTF-8) and in ISO 8859-1: MÜLLER^JÖRG.
const std::string Utf8Name = "M\xC3\x9CLLER^J\xC3\x96RG";
const std::string Latin1Name = "M\xDCLLER^J\xD6RG";
// Names of other scripts: Czech, Greek, Japanese.
const std::string Czech = "DVO\xC5\x98\xC3\x81K^JI\xC5\x98\xC3\x8D";                       // DVOŘÁK^JIŘÍ
const std::string Greek = "\xCE\xA0\xCE\x91\xCE\xA0\xCE\x91\xCE\xA3^\xCE\x93\xCE\x99\xCE\xA9";  // ΠΑΠΑΣ^ΓΙΩ
const std::string Japanese = "\xE5\xB1\xB1\xE7\x94\xB0^\xE5\xA4\xAA\xE9\x83\x8E";            // 山田^太郎

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
    Insert(Entry("A1", Utf8Name));
    Insert(Entry("A2", "SMITH^JOHN"));
    Insert(Entry("A3", Czech));
    Insert(Entry("A4", Greek));
    Insert(Entry("A5", Japanese));
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
      {"LATINCT", nullptr, "ISO_IR 100", Latin1Name, Utf8Name},
      {"LATINCT", "", "ISO_IR 100", Latin1Name, Utf8Name},  // an empty value asks, it names no set
      {"LATINCT", "ISO_IR 100", "ISO_IR 100", Latin1Name, Utf8Name},
      {"LATINCT", "ISO_IR 192", "ISO_IR 192", Utf8Name, Utf8Name},
      {"LATINCT", "ISO_IR 148", "ISO_IR 148", Latin1Name, Utf8Name},  // Latin-5 has Ü and Ö where Latin-1 has them
      {"LATINCT", "ISO_IR 144", "ISO_IR 144", "M?LLER^J?RG", "M?LLER^J?RG"},
      {"LATINCT", "ISO_IR 6", "ISO_IR 6", "M?LLER^J?RG", "M?LLER^J?RG"},
      {"LATINCT", "ISO 2022 IR 87", "ISO_IR 100", Latin1Name, Utf8Name},  // not converted: the default
      {"UTF8CT", nullptr, "ISO_IR 192", Utf8Name, Utf8Name},               // the station's setting
      {"UTF8CT", "ISO_IR 100", "ISO_IR 100", Latin1Name, Utf8Name},        // the request's set first
      {"ODDCT", nullptr, "ISO_IR 100", Latin1Name, Utf8Name},              // a refused setting: the default
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

// Each stored name in each requested set: the bytes of that set under its
// label, "?" for every character the set lacks.
TEST_F(WorklistCharsets, NamesOfEveryScriptInEveryRequestedSet) {
  const struct {
    const char* Accession;
    const char* Requested;
    std::string Bytes;  // the name's bytes in the answer, labelled Requested
    int Missing;        // characters answered as "?"
  } cases[] = {
      {"A3", "ISO_IR 192", Czech, 0},
      {"A3", "ISO_IR 100", "DVO?\xC1K^JI?\xCD", 2},
      {"A3", "ISO_IR 101", "DVO\xD8\xC1K^JI\xD8\xCD", 0},  // Latin-2 has Ř
      {"A3", "ISO_IR 126", "DVO??K^JI??", 4},
      {"A4", "ISO_IR 192", Greek, 0},
      {"A4", "ISO_IR 126", "\xD0\xC1\xD0\xC1\xD3^\xC3\xC9\xD9", 0},  // ISO 8859-7
      {"A4", "ISO_IR 100", "?????^???", 8},
      {"A5", "ISO_IR 192", Japanese, 0},
      {"A5", "ISO_IR 100", "??^??", 4},
      {"A5", "ISO_IR 6", "??^??", 4},
      {"A2", "ISO_IR 126", "SMITH^JOHN", 0},  // ASCII reads the same in every set
  };
  for (const auto& c : cases) {
    const Answer a = Find("LATINCT", "-k 0010,0010 -k " + ShellQuote(std::string("0008,0050=") + c.Accession) + " -k " +
                                         ShellQuote(std::string("0008,0005=") + c.Requested));
    const std::string what = std::string(c.Accession) + " " + c.Requested;
    ASSERT_EQ(a.responses, 1) << what << "\n" << a.find.Output;
    EXPECT_NE(a.firstDump.find("(0008,0005) CS [" + std::string(c.Requested) + "]"), std::string::npos) << what;
    EXPECT_NE(a.first.find(c.Bytes), std::string::npos) << what << "\n" << a.firstDump;
    if (c.Missing > 0) {
      EXPECT_EQ(CountLines(ServerLog(), "(0010,0010) holds " + std::to_string(c.Missing) + " character(s) that " +
                                            c.Requested + " lacks; answered as ?"),
                1)
          << what;
    }
  }
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
