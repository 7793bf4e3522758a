// The web administration in a real browser: Debian's Chromium driven by
// playwright-core (npm, exact version in tests/web/browser/package-lock.json).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "db/sqldb.h"
#include "service/settings.h"
#include "support/child_process.h"
#include "support/npm_packages.h"
#include "web_instance.h"

namespace {
const std::string SourceDir = TARVELIN_SOURCE_DIR;
const std::string BrowserDir = SourceDir + "/tests/web/browser";

TEST(WebBrowser, LogInQueryAndPageThroughTheWorklist) {
  // jQuery for the instance's javascript/, and the browser driver.
  ASSERT_EQ(InstallNpmPackages(SourceDir + "/web", "jquery/dist/cdn/jquery-2.1.0.min.js"), "");
  ASSERT_EQ(InstallNpmPackages(BrowserDir, "playwright-core/package.json"), "");

  WebInstance web("webbrowser");
  ASSERT_EQ(web.Prepare(), "");
  ASSERT_TRUE(std::filesystem::exists(web.Server().Home() + "javascript/jquery-2.1.0.min.js"));
  for (int i = 1; i <= 25; ++i) {
    char accession[8], name[32], date[16];
    std::snprintf(accession, sizeof accession, "D%02d", i);
    std::snprintf(name, sizeof name, "DOE^PATIENT%02d", i);
    std::snprintf(date, sizeof date, "202403%02d", 1 + i % 20);
    ASSERT_TRUE(web.Insert(ScheduledEntry(accession, name, date)));
  }
  for (const char* late : {"L1", "L2"}) ASSERT_TRUE(web.Insert(ScheduledEntry(late, "DOE^LATE", "20240415")));
  ASSERT_TRUE(web.Insert(ScheduledEntry("S1", "SMITH^ANN", "20240305", "MR")));
  ASSERT_TRUE(web.Insert(ScheduledEntry("S2", "SMITH^BOB", "20240306", "US")));
  ASSERT_TRUE(web.Insert(ScheduledEntry("Z1", "ZZ<img src=x onerror=\"window.pwned=1\">^HACK", "20240307")));
  ASSERT_TRUE(web.Start()) << web.Server().Log();

  const std::string shots = std::string(TARVELIN_BIN_DIR) + "/web-screenshots";
  std::filesystem::create_directories(shots);
  const PeerResult run = RunPeer("node " + ShellQuote(BrowserDir + "/worklist_browser.js") + " " +
                                     ShellQuote(web.Url("")) + " " + ShellQuote(shots) + " " +
                                     ShellQuote(kAdminPassword) + " " + ShellQuote(kClerkPassword),
                                 180);
  EXPECT_EQ(run.ExitCode, 0) << run.Output << "\n" << web.Server().Log();
  EXPECT_TRUE(std::filesystem::exists(shots + "/07-query-general.png"));
}

TEST(WebBrowser, AddFindEditSetStatusAndDeleteAnEntryAndManageUsers) {
  ASSERT_EQ(InstallNpmPackages(SourceDir + "/web", "jquery/dist/cdn/jquery-2.1.0.min.js"), "");
  ASSERT_EQ(InstallNpmPackages(BrowserDir, "playwright-core/package.json"), "");
  WebInstance web("webentry");
  ASSERT_EQ(web.Prepare(), "");
  ServerSettings.ProgramFolder = web.Server().Home();
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
  EXPECT_NE(log.find("INFO, WorklistProcess, added entry for Patient=M\xDCLLER^O'<b>&, ProcedureDescription=KNEE <L>"),
            std::string::npos);
  EXPECT_NE(log.find("ERROR, WLQueryForm, User=clerk has no rights to delete worklist entries"), std::string::npos);
  EXPECT_NE(log.find("ERROR, Can't delete admin user"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(shots + "/22-users-deleted.png"));
}
}  // namespace
