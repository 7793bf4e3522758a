// The web administration in a real browser: Debian's Chromium driven by
// playwright-core (npm, exact version in tests/web/browser/package-lock.json).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "db/sqldb.h"
#include "db/storage_location.h"
#include "platform/clock.h"
#include "support/child_process.h"
#include "support/npm_packages.h"
#include "support/test_backend.h"
#include "web_instance.h"

namespace tarvelin {

namespace {
const std::string SourceDir = TARVELIN_SOURCE_DIR;
const std::string BrowserDir = SourceDir + "/tests/web/browser";

// yyyymmdd and yyyy-mm-dd of today + `days`.
std::pair<std::string, std::string> Day(int days) {
  const std::tm t = LocalTime(Now() + std::chrono::hours(24 * days));
  char dicom[16], shown[16];
  std::strftime(dicom, sizeof dicom, "%Y%m%d", &t);
  std::strftime(shown, sizeof shown, "%Y-%m-%d", &t);
  return {dicom, shown};
}

TEST(WebBrowser, TheDaysListFiltersSortsAndPagesAndTheLoginIsGuarded) {
  ASSERT_EQ(InstallNpmPackages(SourceDir + "/web", "jquery/dist/cdn/jquery-2.1.0.min.js"), "");
  ASSERT_EQ(InstallNpmPackages(BrowserDir, "axe-core/axe.min.js"), "");

  WebInstance web("webbrowser");
  ASSERT_EQ(web.Prepare(), "");
  const auto [today, shownToday] = Day(0);
  const auto [tomorrow, shownTomorrow] = Day(1);
  // 30 entries today from 07:00, one RF, one started, one completed, two stations.
  for (int i = 1; i <= 30; ++i) {
    char accession[8], name[32], time[16];
    std::snprintf(accession, sizeof accession, "T%02d", i);
    std::snprintf(name, sizeof name, "DOE^PATIENT%02d", i);
    std::snprintf(time, sizeof time, "%02d%02d00", 7 + i / 4, (i % 4) * 15);
    WorklistDB e = ScheduledEntry(accession, name, today, i == 5 ? "RF" : "CT");
    e.SPSTime = time;
    e.ScheduledStation = i % 2 ? "CT01" : "CT02";
    if (i == 3) e.SPSStatus = "IN PROGRESS";
    if (i == 4) e.SPSStatus = "COMPLETED";
    ASSERT_TRUE(web.Insert(e));
  }
  // Seven MÜLLERs: four as HL7 stores them (UTF-8), three as the web form did
  // (8-bit), which only a SQLite file can hold.
  const std::string otto = TestsOnPostgres() ? "M\xC3\x9CLLER^OTTO" : "M\xDCLLER^OTTO";
  for (int i = 1; i <= 7; ++i)
    ASSERT_TRUE(web.Insert(ScheduledEntry("M" + std::to_string(i), i <= 4 ? "M\xC3\x9CLLER^ANNA" : otto, today)));
  for (const char* late : {"L1", "L2"}) ASSERT_TRUE(web.Insert(ScheduledEntry(late, "DOE^LATE", tomorrow)));
  ASSERT_TRUE(web.Insert(ScheduledEntry("Z1", "ZZ<img src=x onerror=\"window.pwned=1\">^HACK", today)));
  ASSERT_TRUE(web.Start()) << web.Server().Log();

  const std::string shots = std::string(TARVELIN_BIN_DIR) + "/web-screenshots";
  std::filesystem::create_directories(shots);
  const PeerResult run = RunPeer("node " + ShellQuote(BrowserDir + "/worklist_browser.js") + " " +
                                     ShellQuote(web.Url("")) + " " + ShellQuote(shots) + " " +
                                     ShellQuote(kAdminPassword) + " " + ShellQuote(kClerkPassword) + " " +
                                     shownToday + " " + shownTomorrow,
                                 300);
  EXPECT_EQ(run.ExitCode, 0) << run.Output << "\n" << web.Server().Log();
  EXPECT_TRUE(std::filesystem::exists(shots + "/02-worklist-390.png"));
  const std::string log = web.Server().Log();
  EXPECT_NE(log.find("ERROR, User=admin, Page=form_wlquery, cross-site request refused, Sec-Fetch-Site=same-site"),
            std::string::npos);
  EXPECT_NE(log.find("ERROR, User=admin, Page=wlsetstatus, cross-site request refused"), std::string::npos);
  EXPECT_NE(log.find("INFO, User=admin, logged out"), std::string::npos);
  EXPECT_NE(log.find("failed logins, next attempt allowed in"), std::string::npos);
}

TEST(WebBrowser, AddEditAndDeleteEntriesSafelyAndManageUsers) {
  ASSERT_EQ(InstallNpmPackages(SourceDir + "/web", "jquery/dist/cdn/jquery-2.1.0.min.js"), "");
  ASSERT_EQ(InstallNpmPackages(BrowserDir, "axe-core/axe.min.js"), "");
  WebInstance web("webentry");
  ASSERT_EQ(web.Prepare(), "");
  UseStorage(web.Server().Storage());
  {
    SQLdb db("quillat", SQLdb::ReadWrite);
    ASSERT_EQ(db.Exec("INSERT INTO Referrers (Name) VALUES ('ADAMS'), ('DR^WHO');"
                      "INSERT INTO StudyDescription (Code, Modality, Description) VALUES "
                      "(1, 'CT', 'HEAD'), (2, 'MR', 'KNEE <L>'), (3, 'MR', 'SPINE')"),
              0);
  }
  ASSERT_TRUE(web.Start()) << web.Server().Log();

  const std::string shots = std::string(TARVELIN_BIN_DIR) + "/web-screenshots";
  std::filesystem::create_directories(shots);
  const PeerResult run = RunPeer("node " + ShellQuote(BrowserDir + "/entry_browser.js") + " " +
                                     ShellQuote(web.Url("")) + " " + ShellQuote(shots) + " " +
                                     ShellQuote(kAdminPassword) + " " + ShellQuote(kClerkPassword) + " " +
                                     std::to_string(web.Server().DicomPort()),
                                 240);
  EXPECT_EQ(run.ExitCode, 0) << run.Output << "\n" << web.Server().Log();
  const std::string log = web.Server().Log();
  EXPECT_NE(log.find("INFO, WorklistProcess, added entry for Patient=M\xC3\x9CLLER^O'<b>&, ProcedureDescription=KNEE <L>"),
            std::string::npos);
  EXPECT_NE(log.find("ERROR, Can't delete admin user"), std::string::npos);
  EXPECT_NE(log.find("INFO, User=admin deleted the worklist entry AccessionNumber="), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(shots + "/16-delete-question-390.png"));
}

// findscu's first response to a query file made by dump2dcm, as dcmdump
// shows it, as dcmdump +U8 shows it (values decoded by their label) and as
// raw bytes.
struct FoundEntry {
  std::string dump, utf8;
  std::string bytes;
};

FoundEntry FindByAccession(const WebInstance& web, const std::string& accession, const std::string& charset) {
  const std::string dir = web.Server().Home() + "find-" + accession + "-" + charset.substr(charset.size() - 3) + "/";
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "query.txt") << "(0008,0005) CS [" << charset << "]\n(0008,0050) SH [" << accession
                                   << "]\n(0010,0010) PN []\n";
  const PeerResult dump = RunPeer("dump2dcm " + ShellQuote(dir + "query.txt") + " " + ShellQuote(dir + "query.dcm"));
  EXPECT_EQ(dump.ExitCode, 0) << dump.Output;
  const PeerResult find = RunPeer("findscu -W -aet E2E -aec TARVELIN -X -od " + ShellQuote(dir) + " 127.0.0.1 " +
                                  std::to_string(web.Server().DicomPort()) + " " + ShellQuote(dir + "query.dcm"));
  EXPECT_EQ(find.ExitCode, 0) << find.Output;
  FoundEntry found;
  if (!std::filesystem::exists(dir + "rsp0001.dcm")) return found;
  found.dump = RunPeer("dcmdump " + ShellQuote(dir + "rsp0001.dcm")).Output;
  found.utf8 = RunPeer("dcmdump +U8 " + ShellQuote(dir + "rsp0001.dcm")).Output;
  std::ifstream file(dir + "rsp0001.dcm", std::ios::binary);
  found.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return found;
}

TEST(WebBrowser, NamesOfThreeScriptsTypedIntoTheFormReachModalitiesInTheirSets) {
  ASSERT_EQ(InstallNpmPackages(SourceDir + "/web", "jquery/dist/cdn/jquery-2.1.0.min.js"), "");
  ASSERT_EQ(InstallNpmPackages(BrowserDir, "axe-core/axe.min.js"), "");
  WebInstance web("webcharset");
  ASSERT_EQ(web.Prepare(), "");
  ASSERT_TRUE(web.Start()) << web.Server().Log();
  const struct {
    std::string name;         // typed, UTF-8
    std::string latin1Bytes;  // answered under ISO_IR 100: what Latin-1 has, "?" for the rest
    int missing;              // characters Latin-1 lacks
  } names[] = {
      {"DVO\u0158\u00c1K^JI\u0158\u00cd", "DVO?\xC1K^JI?\xCD", 2},
      {"\u03a0\u0391\u03a0\u0391\u0394\u039f\u03a0\u039f\u03a5\u039b\u039f\u03a3^\u0393\u0399\u03a9\u03a1\u0393\u039f\u03a3",
       "????????????^???????", 19},
      {"\u5c71\u7530^\u592a\u90ce", "??^??", 4},
  };
  std::string command = "node " + ShellQuote(BrowserDir + "/charset_browser.js") + " " + ShellQuote(web.Url("")) +
                        " " + ShellQuote(kAdminPassword);
  for (const auto& n : names) command += " " + ShellQuote(n.name);
  const PeerResult run = RunPeer(command, 240);
  ASSERT_EQ(run.ExitCode, 0) << run.Output << "\n" << web.Server().Log();

  std::istringstream lines(run.Output);
  std::map<std::string, std::string> accessionOf;
  for (std::string accession, name; lines >> accession >> name;) accessionOf[name] = accession;
  for (const auto& n : names) {
    ASSERT_EQ(accessionOf.count(n.name), 1u) << n.name << "\n" << run.Output;
    const std::string accession = accessionOf[n.name];
    const FoundEntry utf8 = FindByAccession(web, accession, "ISO_IR 192");
    EXPECT_NE(utf8.dump.find("(0008,0005) CS [ISO_IR 192]"), std::string::npos) << utf8.dump;
    EXPECT_NE(utf8.utf8.find("(0010,0010) PN [" + n.name + "]"), std::string::npos) << utf8.utf8;
    EXPECT_NE(utf8.bytes.find(n.name), std::string::npos);
    const FoundEntry latin1 = FindByAccession(web, accession, "ISO_IR 100");
    EXPECT_NE(latin1.dump.find("(0008,0005) CS [ISO_IR 100]"), std::string::npos) << latin1.dump;
    EXPECT_NE(latin1.bytes.find(n.latin1Bytes), std::string::npos) << latin1.dump;
    EXPECT_EQ(latin1.bytes.find("&#"), std::string::npos) << latin1.dump;
  }
  const std::string log = web.Server().Log();
  for (const auto& n : names)
    EXPECT_NE(log.find("(0010,0010) holds " + std::to_string(n.missing) + " character(s) that ISO_IR 100 lacks; answered as ?"),
              std::string::npos) << n.name;
}
}  // namespace

}  // namespace tarvelin
