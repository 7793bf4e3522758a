// The matching table through the running server and dcmtk's findscu, with
// every query file written by dcmtk's dump2dcm, and dcmtk's wlmscpfs as an
// independent oracle: it serves the same entries from .wl files, and for the
// keys both servers support both must give the same matches.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "running_server.h"
#include "support/free_port.h"
#include "support/log_file.h"

namespace tarvelin {

namespace {

using Accessions = std::set<std::string>;

struct StoredEntry {
  const char *accession, *name, *id, *modality, *date, *time, *uid;
};

const StoredEntry kEntries[] = {
    {"A1", "DOE^JOHN", "12345", "CT", "20270108", "093000", "1.2.826.0.1.3680043.9.7133.3.1"},
    {"A2", "DOE^JANE", "123456", "MR", "20270108", "150000", "1.2.826.0.1.3680043.9.7133.3.2"},
    {"A3", "DOEHLER^ANNA", "1234", "CT", "20270109", "074500", "1.2.826.0.1.3680043.9.7133.3.3"},
    {"A4", "50%_OFF^X", "12%45", "CT", "20270109", "223000", "1.2.826.0.1.3680043.9.7133.3.4"},
    {"A5", "OBRIEN^PAT", "A_1", "US", "20270110", "000000", "1.2.826.0.1.3680043.9.7133.3.5"},
};

// A worklist file for wlmscpfs, as dump2dcm text; it ignores files that
// lack any of these attributes or leave one empty.
std::string EntryDump(const StoredEntry& e) {
  std::ostringstream d;
  d << "(0008,0005) CS [ISO_IR 100]\n(0008,0050) SH [" << e.accession << "]\n(0008,0090) PN [REF^A]\n"
    << "(0008,1110) SQ (Sequence with explicit length #=0)\n(fffe,e0dd) na (SequenceDelimitationItem)\n"
    << "(0008,1120) SQ (Sequence with explicit length #=0)\n(fffe,e0dd) na (SequenceDelimitationItem)\n"
    << "(0010,0010) PN [" << e.name << "]\n(0010,0020) LO [" << e.id << "]\n"
    << "(0010,0030) DA [19700101]\n(0010,0040) CS [M]\n(0020,000d) UI [" << e.uid << "]\n"
    << "(0032,1060) LO [CT HEAD]\n(0040,0100) SQ (Sequence with explicit length #=1)\n"
    << "(fffe,e000) na (Item with explicit length #=9)\n(0008,0060) CS [" << e.modality << "]\n"
    << "(0040,0001) AE [STATION1]\n(0040,0002) DA [" << e.date << "]\n(0040,0003) TM [" << e.time << "]\n"
    << "(0040,0006) PN [PERF^A]\n(0040,0007) LO [CT HEAD]\n(0040,0009) SH [S" << e.accession << "]\n"
    << "(0040,0010) SH [STATION1]\n(0040,0020) CS [SCHEDULED]\n(fffe,e00d) na (ItemDelimitationItem)\n"
    << "(fffe,e0dd) na (SequenceDelimitationItem)\n(0040,1001) SH [R" << e.accession << "]\n"
    << "(0040,1003) SH [ROUTINE]\n";
  return d.str();
}

// A query file: the accession number (a return key when empty), `top` and
// `step` as dump2dcm lines at the top level and in the (0040,0100) item.
std::string QueryDump(const std::string& accession, const std::string& top, const std::string& step) {
  return "(0008,0050) SH [" + accession + "]\n" + top + "(0040,0100) SQ (Sequence with explicit length #=1)\n" +
         "(fffe,e000) na (Item with explicit length #=1)\n" + step +
         "(fffe,e00d) na (ItemDelimitationItem)\n(fffe,e0dd) na (SequenceDelimitationItem)\n";
}

bool Dump2dcm(const std::string& dump, const std::string& file) {
  std::ofstream(file + ".txt") << dump;
  const PeerResult r = RunPeer("dump2dcm " + ShellQuote(file + ".txt") + " " + ShellQuote(file), 20);
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  return r.ExitCode == 0;
}

// The accession numbers of findscu's responses (not of the request it prints).
Accessions Answered(const std::string& output) {
  Accessions found;
  bool inResponse = false;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("Find Response:") != std::string::npos) inResponse = true;
    if (line.find("Request Identifiers:") != std::string::npos) inResponse = false;
    const auto at = line.find("(0008,0050) SH [");
    if (inResponse && at != std::string::npos) {
      const auto start = at + 16;
      found.insert(line.substr(start, line.find(']', start) - start));
    }
  }
  return found;
}

}  // namespace

class FindscuMatching : public RunningServer {};

TEST_F(FindscuMatching, QueryFilesGiveTheMatchesWlmscpfsGives) {
  const std::string wlFolder = home_ + "wlfiles/WLAE/";
  std::filesystem::create_directories(wlFolder);
  std::ofstream(wlFolder + "lockfile");
  for (const StoredEntry& e : kEntries) {
    WorklistDB w;
    w.AccessionNumber = e.accession;
    w.PatientName = e.name;
    w.PatientID = e.id;
    w.Modality = e.modality;
    w.SPSDate = e.date;
    w.SPSTime = e.time;
    w.StudyInstanceUID = e.uid;
    w.SPSID = std::string("S") + e.accession;
    w.ScheduledStation = "STATION1";
    w.SPSStatus = "SCHEDULED";
    Insert(w);
    ASSERT_TRUE(Dump2dcm(EntryDump(e), wlFolder + e.accession + ".wl"));
  }
  Start();
  const int wlPort = FreePort();
  ChildProcess wlmscpfs("/usr/bin/wlmscpfs", {"-dfp", home_ + "wlfiles", std::to_string(wlPort)});
  ASSERT_TRUE(wlmscpfs.Started());
  WaitUntil([&] { return PortAccepts(wlPort); }, 10000);

  struct Case {
    const char* name;
    std::string accession, top, step;
    Accessions expected;
    // wlmscpfs answers the same way. It does not for: names in another case,
    // wildcards in Patient ID, lists of UIDs (it answers every entry), and
    // date range with "1400-" (it answers only A2).
    bool crossCheck;
  };
  const std::vector<Case> cases = {
      {"exact ID", "", "(0010,0020) LO [12345]\n", "", {"A1"}, true},
      {"ID wildcard", "", "(0010,0020) LO [1234*]\n", "", {"A1", "A2", "A3"}, false},
      {"ID ?", "", "(0010,0020) LO [123?5]\n", "", {"A1"}, false},
      {"percent literal", "", "(0010,0020) LO [12%45]\n", "", {"A4"}, true},
      {"underscore literal", "", "(0010,0020) LO [A_1]\n", "", {"A5"}, true},
      {"underscore is no wildcard", "", "(0010,0020) LO [12_45]\n", "", {}, true},
      {"name prefix", "", "(0010,0010) PN [DOE*]\n", "", {"A1", "A2", "A3"}, true},
      {"name inner wildcards", "", "(0010,0010) PN [*^J?HN]\n", "", {"A1"}, true},
      {"name without wildcard", "", "(0010,0010) PN [DOE]\n", "", {}, true},
      {"name in lower case", "", "(0010,0010) PN [doe^john]\n", "", {"A1"}, false},
      {"accession", "A3", "", "", {"A3"}, true},
      {"modality", "", "", "(0008,0060) CS [CT]\n", {"A1", "A3", "A4"}, true},
      {"date", "", "", "(0040,0002) DA [20270108]\n", {"A1", "A2"}, true},
      {"date range", "", "", "(0040,0002) DA [20270109-20270110]\n", {"A3", "A4", "A5"}, true},
      {"open date range", "", "", "(0040,0002) DA [-20270108]\n", {"A1", "A2"}, true},
      {"time range", "", "", "(0040,0003) TM [1400-]\n", {"A2", "A4"}, true},
      {"date and time as one range", "", "", "(0040,0002) DA [20270108-20270109]\n(0040,0003) TM [1400-]\n",
       {"A2", "A3", "A4"}, false},
      {"across midnight", "", "", "(0040,0002) DA [20270108-20270109]\n(0040,0003) TM [2200-0800]\n", {"A3"}, true},
      {"list of UIDs", "", "(0020,000d) UI [1.2.826.0.1.3680043.9.7133.3.1\\1.2.826.0.1.3680043.9.7133.3.5]\n", "",
       {"A1", "A5"}, false},
      {"keys together", "", "(0010,0010) PN [DOE*]\n", "(0008,0060) CS [CT]\n(0040,0002) DA [20270109]\n", {"A3"}, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string dump = QueryDump(c.accession, c.top, c.step);
    const std::string file = home_ + "query" + std::to_string(++n) + ".dcm";
    ASSERT_TRUE(Dump2dcm(dump, file)) << c.name;
    const PeerResult ours =
        RunPeer("findscu -W -v -aec TARVELIN 127.0.0.1 " + std::to_string(dicomPort_) + " " + ShellQuote(file));
    EXPECT_EQ(ours.ExitCode, 0) << c.name << "\n" << ours.Output;
    EXPECT_EQ(Answered(ours.Output), c.expected) << c.name << "\n" << ours.Output;
    if (!c.crossCheck) continue;
    const PeerResult theirs = RunPeer("findscu -W -v -aec WLAE 127.0.0.1 " + std::to_string(wlPort) + " " + ShellQuote(file));
    EXPECT_EQ(theirs.ExitCode, 0) << c.name << "\n" << theirs.Output;
    EXPECT_EQ(Answered(theirs.Output), Answered(ours.Output)) << c.name << "\n" << theirs.Output;
  }
}

}  // namespace tarvelin
