// The tarvelin executable as a user runs it: start on an instance folder,
// stop by signal, register and remove the systemd unit.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "db/schema_steps.h"
#include "db/sqldb.h"
#include "platform/temp_folder.h"
#include "support/child_process.h"
#include "support/free_port.h"
#include "support/log_file.h"

namespace tarvelin {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
const std::string kTarvelin = std::string(TARVELIN_BIN_DIR) + "/tarvelin";
const std::string kStartLine = ", INFO, **** Tarvelin V1.0.0 is starting ****\r\n";
const std::string kFinishLine = ", INFO, **** Tarvelin V1.0.0 is finishing ****\r\n";

// Every component that has landed starts too, so each port is a free one.
void WriteIniWithFreePorts(const std::string& home) {
  std::ofstream(home + "TRVGUI.ini") << "[TRVSVC]\nWL_Port=" << FreePort() << "\nHL7Port=" << FreePort()
                                     << "\nWEBPort=" << FreePort() << "\nPACS_Port=" << FreePort() << "\n";
}

// The text of the log file(s) in logs/ (a start just before midnight may use two).
std::string LogText(const std::string& home) { return ReadLogFolder(home + "logs", "_tarvelin.log"); }

bool WaitForLog(const std::string& home, const std::string& line) {
  return WaitUntil([&] { return LogText(home).find(line) != std::string::npos; }, 5000);
}

// Starts, waits for the start line, stops with `signal`: exit 0 within a second.
void StartAndStop(ChildProcess& server, const std::string& home, int signal) {
  ASSERT_TRUE(server.Started());
  ASSERT_TRUE(WaitForLog(home, kStartLine)) << server.Errors();
  EXPECT_TRUE(fs::is_directory(home + "logs"));
  EXPECT_TRUE(fs::is_directory(home + "HL7in"));
  EXPECT_TRUE(fs::is_directory(home + "HL7out"));
  EXPECT_FALSE(server.WaitFor(0ms).has_value()) << "the server ended on its own";

  server.Signal(signal);
  std::optional<int> code = server.WaitFor(1000ms);
  ASSERT_TRUE(code.has_value()) << "still running a second after the stop signal";
  EXPECT_EQ(*code, 0) << server.Errors();
  EXPECT_NE(LogText(home).find(kFinishLine), std::string::npos);
}
}  // namespace

TEST(Tarvelin, RunsOnAnEmptyHomeUntilSigterm) {
  TempFolder home;
  WriteIniWithFreePorts(home.Path());
  ChildProcess server(kTarvelin, {"--home", home.Path()});
  StartAndStop(server, home.Path(), SIGTERM);
}

// A database the server would misread is not served: a start on an older or a
// newer schema ends at once with the reason; the current one runs.
TEST(Tarvelin, StartsOnlyOnTheSchemaVersionItWorksWith) {
  const int current = CurrentSchemaVersion();
  const struct {
    int version;
    const char* refusal;  // nullptr: the server runs
  } cases[] = {
      {current, nullptr},
      {current - 1, "run tarvelin-setup upgrade on the instance first"},
      {current + 1, "it was written by a newer Tarvelin"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    TempFolder home;
    ChildProcess init(std::string(TARVELIN_BIN_DIR) + "/tarvelin-setup", {"init", home.Path()});
    ASSERT_EQ(init.WaitFor(30000ms), std::optional<int>(0)) << init.Errors();
    WriteIniWithFreePorts(home.Path());
    {
      SQLdb db(DatabaseAt{home.Path() + "database/quillat.db"}, SQLdb::ReadWrite);
      ASSERT_EQ(db.Exec("UPDATE SchemaVersion SET Version = " + std::to_string(c.version)), 0) << db.ErrorText;
    }
    ChildProcess server(kTarvelin, {"--home", home.Path()});
    if (!c.refusal) {
      StartAndStop(server, home.Path(), SIGTERM);
      continue;
    }
    ASSERT_EQ(server.WaitFor(5000ms), std::optional<int>(1)) << "the server did not refuse to start";
    EXPECT_NE(server.Errors().find(c.refusal), std::string::npos) << server.Errors();
    const std::string log = LogText(home.Path());
    EXPECT_NE(log.find("ERROR, ServiceStart, not started: the database has schema version " +
                       std::to_string(c.version)), std::string::npos) << log;
    EXPECT_EQ(log.find("Initialized"), std::string::npos) << "a listener opened before the refusal";
  }
}

TEST(Tarvelin, HomeFromTheEnvironmentAndSigint) {
  TempFolder root;
  const std::string home = root.Path() + "not/yet/there/";
  fs::create_directories(home);
  WriteIniWithFreePorts(home);
  // Without a trailing slash: the program adds it.
  ChildProcess server(kTarvelin, {}, {{"TARVELIN_HOME", root.Path() + "not/yet/there"}});
  StartAndStop(server, home, SIGINT);
}

TEST(Tarvelin, InstallAndUninstallTheSystemdUnit) {
  TempFolder units, home;
  const std::map<std::string, std::string> env = {{"TARVELIN_UNIT_DIR", units.Path()}};
  const std::string unit = units.Path() + "Quillat_Tarvelin.service";

  ChildProcess install(kTarvelin, {"INSTALL", "--home", home.Path()}, env);
  ASSERT_EQ(RunToEnd(install), 0) << install.Errors();
  EXPECT_EQ(install.Output(), "Service installed successfully\n");
  const std::string text = ReadWholeFile(unit);
  EXPECT_NE(text.find("Description=QuillatSoft Tarvelin\n"), std::string::npos);
  EXPECT_NE(text.find("ExecStart=\"" + fs::canonical(kTarvelin).string() + "\" --home \"" + home.Path() + "\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("WantedBy=multi-user.target\n"), std::string::npos);
  EXPECT_TRUE(fs::is_symlink(units.Path() + "multi-user.target.wants/Quillat_Tarvelin.service"));

  ChildProcess uninstall(kTarvelin, {"UNINSTALL", "SILENT"}, env);
  ASSERT_EQ(RunToEnd(uninstall), 0) << uninstall.Errors();
  EXPECT_EQ(uninstall.Output(), "");
  EXPECT_FALSE(fs::exists(unit));

  ChildProcess again(kTarvelin, {"/uninstall"}, env);
  EXPECT_EQ(RunToEnd(again), 1);
  EXPECT_NE(again.Errors().find("not installed"), std::string::npos);
}

// Both executables name the version the start line logs (help2man and the
// package build read it from here).
TEST(Tarvelin, VersionOfBothExecutablesIsTheLoggedOne) {
  const std::size_t at = kStartLine.find(" V") + 2;
  const std::string logged = kStartLine.substr(at, kStartLine.find(' ', at) - at);
  for (const std::string program : {"tarvelin", "tarvelin-setup"}) {
    ChildProcess version(std::string(TARVELIN_BIN_DIR) + "/" + program, {"--version"});
    EXPECT_EQ(RunToEnd(version), 0) << version.Errors();
    EXPECT_EQ(version.Output(), program + " " + logged + "\n");
  }
}

// A package upgrade replaces the executable while the server runs: the
// finishing line still names the version of the program that is running.
TEST(Tarvelin, FinishingLineKeepsTheVersionWhenTheFileWasReplaced) {
  TempFolder bin, home;
  WriteIniWithFreePorts(home.Path());
  const std::string copy = bin.Path() + "tarvelin";
  fs::copy_file(kTarvelin, copy);
  fs::permissions(copy, fs::perms::owner_all);
  ChildProcess server(copy, {"--home", home.Path()});
  ASSERT_TRUE(server.Started());
  ASSERT_TRUE(WaitForLog(home.Path(), kStartLine)) << server.Errors();
  fs::remove(copy);
  std::ofstream(copy) << "the next version\n";
  server.Signal(SIGTERM);
  ASSERT_EQ(server.WaitFor(1000ms).value_or(-2), 0) << server.Errors();
  EXPECT_NE(LogText(home.Path()).find(kFinishLine), std::string::npos) << LogText(home.Path());
}

TEST(Tarvelin, UnknownArgumentsAreRefusedWithUsage) {
  ChildProcess bad(kTarvelin, {"--port", "104"});
  EXPECT_EQ(RunToEnd(bad), 2);
  EXPECT_NE(bad.Errors().find("unknown argument: --port"), std::string::npos);
  EXPECT_NE(bad.Errors().find("Usage: tarvelin [--home DIR]\n"), std::string::npos);
}

}  // namespace tarvelin
