// tarvelin-setup end to end: the built executable on a temporary folder,
// its results checked through the sqlite3 command-line shell.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "db/password_hash.h"
#include "db/schema_steps.h"
#include "platform/ini_file.h"
#include "temp_folder.h"

namespace tarvelin {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

namespace {
constexpr const char* kAdmin = "admin password";

struct Result {
  int exit = -1;
  std::string out, err;
};

std::string ShellQuote(const std::string& s) {
  std::string quoted = "'";
  for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (auto end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

class SetupToolTest : public ::testing::Test {
 protected:
  TempFolder temp_;
  const std::string root_ = temp_.path();
  const std::string dir_ = root_ + "/instance";
  const std::string db_ = dir_ + "/database/quillat.db";

  Result RunCommand(const std::string& command, const std::string& input = "") const {
    std::ofstream(root_ + "/stdin") << input;
    const std::string line = "timeout 30 " + command + " <" + root_ + "/stdin >" + root_ + "/stdout 2>" +
                             root_ + "/stderr";
    const int status = std::system(line.c_str());
    Result result;
    result.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(root_ + "/stdout");
    result.err = ReadFile(root_ + "/stderr");
    return result;
  }
  static std::string SetupLine(const std::vector<std::string>& args) {
    std::string command = std::string(TARVELIN_BIN_DIR) + "/tarvelin-setup";
    for (const auto& arg : args) command += " " + ShellQuote(arg);
    return command;
  }
  Result Setup(const std::vector<std::string>& args, const std::string& input = "") const {
    return RunCommand(SetupLine(args), input);
  }
  // The instance's audit lines, oldest first, each from its "event" member on
  // (the time before it differs from run to run).
  std::vector<std::string> AuditEvents() const {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(dir_ + "/logs"))
      if (entry.path().string().ends_with("_audit.log")) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    std::vector<std::string> events;
    for (const auto& file : files)
      for (const std::string& line : Lines(ReadFile(file))) {
        EXPECT_TRUE(line.starts_with("{\"time\":\"")) << line;
        events.push_back(line.substr(std::min(line.size(), line.find("\"event\""))));
      }
    return events;
  }
  // Rows of a query through the sqlite3 shell, "|"-separated columns.
  std::vector<std::string> Sql(const std::string& sql) const {
    const Result r = RunCommand("sqlite3 -batch -readonly " + ShellQuote(db_) + " " + ShellQuote(sql));
    EXPECT_EQ(r.exit, 0) << "sqlite3 shell failed (is the sqlite3 package installed?): " << r.err;
    return Lines(r.out);
  }
  // Whether the stored hash of `user` verifies `password` (never the text itself).
  bool Verifies(const std::string& user, const std::string& password) const {
    const auto stored = Sql("SELECT PassWord FROM Users WHERE UserName = '" + user + "'");
    return stored.size() == 1 && CheckPassword(stored[0], password) == PasswordCheck::Matches;
  }
  std::vector<std::string> Columns(const std::string& table) const {
    return Sql("SELECT name || ' ' || type || (CASE pk WHEN 1 THEN ' PK' ELSE '' END) FROM pragma_table_info('" +
               table + "') ORDER BY cid");
  }
};

TEST_F(SetupToolTest, InitCreatesAReadyInstance) {
  const Result r = Setup({"init", dir_, "--admin-password", "s3cr'et, longer"});
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("database: " + db_));
  EXPECT_THAT(r.out, ::testing::Not(HasSubstr("s3cr'et")));  // a given password is never echoed
  for (const char* folder : {"database", "logs", "HL7in", "HL7out", "javascript"})
    EXPECT_TRUE(fs::is_directory(dir_ + "/" + folder)) << folder;
  EXPECT_EQ(IniFile(dir_ + "/TRVGUI.ini").ReadString("TRVSVC", "WL_AET", "<default>"), "<default>");
  EXPECT_THAT(ReadFile(dir_ + "/TRVGUI.ini"), HasSubstr("\n;WL_AET=TARVELIN\n"));

  EXPECT_THAT(Columns("Worklist"),
              ElementsAre("PatientID VARCHAR(64)", "PatientName VARCHAR(128)", "PatientBD VARCHAR(8)",
                          "PatientSex VARCHAR(16)", "ReferringPhysician VARCHAR(64)",
                          "AccessionNumber VARCHAR(16) PK", "MedicalAlerts VARCHAR(64)",
                          "PatientState VARCHAR(64)", "PatientTransport VARCHAR(64)",
                          "StudyInstanceUID VARCHAR(64)", "RequestedProcedureDescription VARCHAR(64)",
                          "Modality VARCHAR(16)", "SPSDate VARCHAR(8)", "SPSTime VARCHAR(16)",
                          "PerformingPhysician VARCHAR(64)", "SPSDescription VARCHAR(64)", "SPSID VARCHAR(32)",
                          "SPSStatus VARCHAR(16)", "ScheduledStation VARCHAR(16)",
                          "RequestedProcedureID VARCHAR(16)", "SOPInstanceUID VARCHAR(64)",
                          "RequestedProcedurePriority VARCHAR(8)"));
  EXPECT_THAT(Columns("Users"), ElementsAre("UserName VARCHAR(64) PK", "PassWord VARCHAR(64)", "Rights INTEGER"));
  EXPECT_THAT(Columns("Referrers"), ElementsAre("Name VARCHAR(64) PK", "Address VARCHAR(64)", "Phone VARCHAR(16)",
                                                "Email VARCHAR(32)"));
  EXPECT_THAT(Columns("StudyDescription"),
              ElementsAre("Code INTEGER PK", "Modality VARCHAR(16)", "Description VARCHAR(64)"));
  EXPECT_THAT(Sql("SELECT UserName, Rights FROM Users"), ElementsAre("admin|1"));
  EXPECT_TRUE(Verifies("admin", "s3cr'et, longer"));
  EXPECT_EQ(fs::status(db_).permissions() & fs::perms::others_read, fs::perms::none);
  EXPECT_THAT(Sql("SELECT name FROM sqlite_master WHERE name LIKE '%setup%'"), ElementsAre());
  EXPECT_FALSE(fs::exists(db_ + "-journal"));
}

TEST_F(SetupToolTest, WorklistQueriesAreServedByIndexes) {
  ASSERT_EQ(Setup({"init", dir_, "--admin-password", kAdmin}).exit, 0);
  const auto scheduled = Sql(
      "EXPLAIN QUERY PLAN SELECT * FROM Worklist WHERE SPSStatus = 'SCHEDULED' AND SPSDate >= '20240101' "
      "AND SPSDate <= '20240131'");
  ASSERT_FALSE(scheduled.empty());
  EXPECT_THAT(scheduled.back(), HasSubstr("USING INDEX WorklistStatusDate (SPSStatus=? AND SPSDate>? AND SPSDate<?)"));
  // A modality's usual question visits only its own entries of the day.
  const auto modality = Sql(
      "EXPLAIN QUERY PLAN SELECT * FROM Worklist WHERE Modality = 'CT' AND  SPSDate = '20240315' AND "
      "SPSStatus='SCHEDULED' ORDER BY PatientName");
  EXPECT_THAT(modality, Contains(HasSubstr("USING INDEX WorklistStatusModality (SPSStatus=? AND Modality=? AND SPSDate=?)")));
  const auto mpps = Sql("EXPLAIN QUERY PLAN SELECT * FROM Worklist WHERE SOPInstanceUID = '1.2.3'");
  ASSERT_FALSE(mpps.empty());
  EXPECT_THAT(mpps.back(), HasSubstr("USING INDEX WorklistSOPInstance (SOPInstanceUID=?)"));
}

TEST_F(SetupToolTest, InitPrintsARandomPasswordOnceAndNeverTouchesAnExistingDatabase) {
  const Result first = Setup({"init", dir_});
  ASSERT_EQ(first.exit, 0) << first.err;
  const std::size_t at = first.out.find("password: ");
  ASSERT_NE(at, std::string::npos) << first.out;
  const std::string password = first.out.substr(at + 10, 16);
  ASSERT_EQ(first.out.substr(at + 26, 1), "\n") << first.out;
  ASSERT_TRUE(std::all_of(password.begin(), password.end(), [](unsigned char c) { return std::isalnum(c); }))
      << first.out;
  EXPECT_TRUE(Verifies("admin", password));

  fs::remove(dir_ + "/TRVGUI.ini");
  const std::string before = ReadFile(db_);
  const Result again = Setup({"init", dir_, "--admin-password", "another password"});
  EXPECT_EQ(again.exit, 1);
  EXPECT_THAT(again.err, HasSubstr("a database already exists at " + db_));
  EXPECT_EQ(ReadFile(db_), before);
  EXPECT_FALSE(fs::exists(dir_ + "/TRVGUI.ini"));  // nothing at all was changed
  const Result second = Setup({"init", root_ + "/second"});
  ASSERT_EQ(second.exit, 0);
  EXPECT_THAT(second.out, ::testing::Not(HasSubstr(password)));
}

TEST_F(SetupToolTest, ConfigWritesOneKeyReadByTheServer) {
  ASSERT_EQ(Setup({"init", dir_, "--admin-password", kAdmin}).exit, 0);
  const Result r = Setup({"config", dir_, "TRVSVC", "WL_Port", "1104"});
  ASSERT_EQ(r.exit, 0) << r.err;
  ASSERT_EQ(Setup({"config", dir_, "TRVVC", "DefaultModality", "2"}).exit, 0);
  const IniFile ini(dir_ + "/TRVGUI.ini");
  EXPECT_EQ(ini.ReadString("TRVSVC", "WL_Port", ""), "1104");
  EXPECT_EQ(ini.ReadInteger("TRVVC", "DefaultModality", 0), 2);
  EXPECT_THAT(ReadFile(dir_ + "/TRVGUI.ini"), HasSubstr(";WL_Port=104\nWL_Port=1104\n"));

  EXPECT_EQ(Setup({"config", root_ + "/missing", "TRVSVC", "WL_Port", "1"}).exit, 1);
  EXPECT_EQ(Setup({"config", dir_, "TRVSVC", "WL_Port"}).exit, 2);
  const Result bad = Setup({"config", dir_, "TRV]SVC", "WL_Port", "1"});
  EXPECT_EQ(bad.exit, 1);
  EXPECT_THAT(bad.err, HasSubstr("invalid section name"));
}

TEST_F(SetupToolTest, UserCommandsManageTheWebUsers) {
  ASSERT_EQ(Setup({"init", dir_, "--admin-password", kAdmin}).exit, 0);
  EXPECT_EQ(Setup({"user", dir_, "add", "o'neil;dr", "--password", "pa'ss;word-12"}).exit, 0);
  EXPECT_EQ(Setup({"user", dir_, "add", "boss", "--admin", "--password", "-"}, "from stdin, 12+\n").exit, 0);
  const Result random = Setup({"user", dir_, "add", "temp"});
  EXPECT_EQ(random.exit, 0);
  EXPECT_THAT(random.out, HasSubstr("Password for temp: "));
  EXPECT_THAT(Sql("SELECT UserName, Rights FROM Users WHERE UserName <> 'temp' ORDER BY UserName"),
              ElementsAre("admin|1", "boss|1", "o'neil;dr|0"));
  EXPECT_TRUE(Verifies("admin", kAdmin));
  EXPECT_TRUE(Verifies("boss", "from stdin, 12+"));
  EXPECT_TRUE(Verifies("o''neil;dr", "pa'ss;word-12"));

  const Result duplicate = Setup({"user", dir_, "add", "boss", "--password", "y"});
  EXPECT_EQ(duplicate.exit, 1);
  EXPECT_THAT(duplicate.err, HasSubstr("user boss already exists"));
  EXPECT_EQ(Setup({"user", dir_, "add", "a:b", "--password", "y"}).exit, 1);
  EXPECT_EQ(Setup({"user", dir_, "add", "c", "--password", ""}).exit, 1);

  EXPECT_EQ(Setup({"user", dir_, "passwd", "o'neil;dr", "--password", "new password 1"}).exit, 0);
  EXPECT_THAT(Sql("SELECT Rights FROM Users WHERE UserName = 'o''neil;dr'"), ElementsAre("0"));
  EXPECT_TRUE(Verifies("o''neil;dr", "new password 1"));
  EXPECT_EQ(Setup({"user", dir_, "passwd", "nobody", "--password", "new"}).exit, 1);

  EXPECT_EQ(Setup({"user", dir_, "remove", "temp"}).exit, 0);
  EXPECT_EQ(Setup({"user", dir_, "remove", "boss"}).exit, 0);
  const Result lastAdmin = Setup({"user", dir_, "remove", "admin"});
  EXPECT_EQ(lastAdmin.exit, 1);
  EXPECT_THAT(lastAdmin.err, HasSubstr("last ADMIN user"));
  EXPECT_EQ(Setup({"user", dir_, "remove", "temp"}).exit, 1);

  const Result list = Setup({"user", dir_, "list"});
  EXPECT_EQ(list.exit, 0);
  EXPECT_EQ(list.out, "admin\tADMIN\no'neil;dr\tGENERAL\n");
}

TEST_F(SetupToolTest, UpgradeBringsAnOlderInstanceUpToDate) {
  // As an older version left it: no web assets, no web query indexes, no
  // recorded schema version, a clear password.
  ASSERT_EQ(Setup({"init", dir_, "--admin-password", kAdmin, "--assets", root_ + "/none"}).exit, 0);
  ASSERT_FALSE(fs::exists(dir_ + "/javascript/style.css"));
  EXPECT_THAT(Sql("SELECT Version FROM SchemaVersion"), ElementsAre(std::to_string(CurrentSchemaVersion())));
  ASSERT_EQ(RunCommand("sqlite3 " + ShellQuote(db_) + " " +
                       ShellQuote("DROP TABLE SchemaVersion; DROP INDEX WorklistStart; DROP INDEX WorklistNameOrder; "
                                  "DROP TABLE PerformedSteps; DROP TABLE PerformedStepEntries; "
                                  "INSERT INTO Users VALUES ('old', 'pla''in', 0)")).exit, 0);
  const std::string assets = root_ + "/assets";
  fs::create_directories(assets + "/node_modules/jquery/dist/cdn");
  for (const char* file : {"style.css", "card.png", "list.png", "tarvelin.js", "node_modules/jquery/dist/cdn/jquery-2.1.0.min.js"})
    std::ofstream(assets + "/" + file) << file;

  for (int run = 0; run < 2; ++run) {  // a second run changes nothing more
    const Result r = Setup({"upgrade", dir_, "--assets", assets});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_THAT(r.out, HasSubstr(run == 0 ? "Passwords stored as hashes: 1" : "is up to date"));
    EXPECT_EQ(r.out.find("Database schema version 2: "), run == 0 ? r.out.find("Database schema version") : std::string::npos)
        << "steps after version 1, in order, and only once: " << r.out;
  }
  EXPECT_THAT(Sql("SELECT Version FROM SchemaVersion"), ElementsAre(std::to_string(CurrentSchemaVersion())));
  for (const char* file : {"style.css", "card.png", "list.png", "tarvelin.js", "jquery-2.1.0.min.js"})
    EXPECT_TRUE(fs::exists(dir_ + "/javascript/" + file)) << file;
  EXPECT_EQ(ReadFile(dir_ + "/javascript/jquery-2.1.0.min.js"), "node_modules/jquery/dist/cdn/jquery-2.1.0.min.js");
  EXPECT_THAT(Sql("SELECT name FROM sqlite_master WHERE name IN ('WorklistStart', 'WorklistNameOrder') ORDER BY name"),
              ElementsAre("WorklistNameOrder", "WorklistStart"));
  EXPECT_THAT(Sql("SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE 'PerformedStep%' ORDER BY name"),
              ElementsAre("PerformedStepEntries", "PerformedSteps"));
  const auto old = Sql("SELECT PassWord FROM Users WHERE UserName = 'old'");
  ASSERT_EQ(old.size(), 1u);
  EXPECT_EQ(CheckPassword(old[0], "pla'in"), PasswordCheck::Matches);

  const Result missing = Setup({"upgrade", dir_, "--assets", root_ + "/nowhere"});
  EXPECT_EQ(missing.exit, 0);  // the instance still works; the warning says what to do
  EXPECT_THAT(missing.err, HasSubstr("not found, so not in"));
  EXPECT_THAT(missing.err, HasSubstr("npm ci --prefix web"));

  ASSERT_EQ(RunCommand("sqlite3 " + ShellQuote(db_) + " " + ShellQuote("UPDATE Users SET Rights = 0")).exit, 0);
  const Result noAdmin = Setup({"upgrade", dir_, "--assets", assets});
  EXPECT_EQ(noAdmin.exit, 0);
  EXPECT_THAT(noAdmin.err, HasSubstr("warning: the database has no ADMIN user; add one with: tarvelin-setup user " +
                                     dir_ + " add NAME --admin"));
}

TEST_F(SetupToolTest, UpgradeRefusesADatabaseNewerThanItself) {
  ASSERT_EQ(Setup({"init", dir_, "--admin-password", kAdmin, "--assets", root_ + "/none"}).exit, 0);
  const std::string newer = std::to_string(CurrentSchemaVersion() + 1);
  ASSERT_EQ(RunCommand("sqlite3 " + ShellQuote(db_) + " " +
                       ShellQuote("UPDATE SchemaVersion SET Version = " + newer +
                                  "; INSERT INTO Users VALUES ('old', 'plain', 0)")).exit, 0);
  const Result r = Setup({"upgrade", dir_, "--assets", root_ + "/none"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_THAT(r.err, HasSubstr("has schema version " + newer + ", newer than this tarvelin-setup knows"));
  EXPECT_THAT(Sql("SELECT PassWord FROM Users WHERE UserName = 'old'"), ElementsAre("plain"));  // untouched
  EXPECT_THAT(Sql("SELECT Version FROM SchemaVersion"), ElementsAre(newer));
}

TEST_F(SetupToolTest, ErrorsAreClearAndHelpIsThere) {
  for (const std::vector<std::string>& help :
       {std::vector<std::string>{"--help"}, {"init", "--help"}, {"config", "--help"}, {"user", "--help"}}) {
    const Result r = Setup(help);
    EXPECT_EQ(r.exit, 0);
    EXPECT_THAT(r.out, HasSubstr("Usage: tarvelin-setup")) << help[0];
  }
  const Result none = Setup({});
  EXPECT_EQ(none.exit, 2);
  EXPECT_THAT(none.err, HasSubstr("missing command"));
  const Result unknown = Setup({"frobnicate"});
  EXPECT_EQ(unknown.exit, 2);
  EXPECT_THAT(unknown.err, HasSubstr("unknown command \"frobnicate\""));
  EXPECT_EQ(Setup({"init"}).exit, 2);
  EXPECT_EQ(Setup({"init", dir_, "--admin-password"}).exit, 2);
  EXPECT_EQ(Setup({"user", dir_, "rename", "x"}).exit, 2);

  const Result missing = Setup({"user", root_ + "/nowhere", "list"});
  EXPECT_EQ(missing.exit, 1);
  EXPECT_THAT(missing.err, HasSubstr("no instance folder"));
  fs::create_directory(dir_);
  const Result noDatabase = Setup({"user", dir_, "list"});
  EXPECT_EQ(noDatabase.exit, 1);
  EXPECT_THAT(noDatabase.err, HasSubstr("no database at"));
  std::ofstream(root_ + "/file") << "x";
  EXPECT_EQ(Setup({"init", root_ + "/file"}).exit, 1);
}
TEST_F(SetupToolTest, InitAppliesThePasswordRuleBeforeChangingAnything) {
  const std::string longer = "[TRVSVC]\nMinPasswordLength=20\n";
  const struct {
    std::string ini;  // TRVGUI.ini already there ("" : none)
    std::vector<std::string> password;
    int exit;
    std::string says;
  } cases[] = {
      {"", {"--admin-password", "short"}, 1,
       "tarvelin-setup: a password needs at least 12 characters (this one has 5) (MinPasswordLength)\n"},
      {"", {"--admin-password", "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9\xC3\xA8\xC3\xAA\xC3\xAB"}, 1,
       "tarvelin-setup: a password needs at least 12 characters (this one has 11) (MinPasswordLength)\n"},
      {"", {"--admin-password", "twelve chars"}, 0, ""},
      {longer, {"--admin-password", "nineteen characters"}, 1,
       "tarvelin-setup: a password needs at least 20 characters (this one has 19) (MinPasswordLength)\n"},
      {longer, {}, 0, ""},  // the random password is made as long as the rule asks
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string dir = root_ + "/case" + std::to_string(++n);
    SCOPED_TRACE(dir);
    if (!c.ini.empty()) {
      fs::create_directories(dir);
      std::ofstream(dir + "/TRVGUI.ini") << c.ini;
    }
    std::vector<std::string> args{"init", dir};
    args.insert(args.end(), c.password.begin(), c.password.end());
    const Result r = Setup(args);
    EXPECT_EQ(r.exit, c.exit);
    EXPECT_EQ(r.err, c.says);
    if (c.exit != 0) {
      // Refused before anything was made: no folder, or only the ini that was there.
      EXPECT_EQ(fs::exists(dir), !c.ini.empty());
      if (!c.ini.empty()) {
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
      }
      continue;
    }
    if (c.password.empty()) {
      const std::size_t at = r.out.find("password: ");
      ASSERT_NE(at, std::string::npos) << r.out;
      EXPECT_EQ(r.out.find('\n', at) - at - 10, 20u) << r.out;
    }
  }
}

TEST_F(SetupToolTest, UserAdministrationIsWrittenToTheAuditTrail) {
  unsetenv("SUDO_USER");  // as run by hand; one run below sets it
  const passwd* entry = getpwuid(geteuid());
  ASSERT_NE(entry, nullptr);
  const std::string me = entry->pw_name;
  const std::vector<std::string> passwords{kAdmin, "nurse password", "changed password"};
  ASSERT_EQ(Setup({"init", dir_, "--admin-password", passwords[0]}).exit, 0);
  ASSERT_EQ(Setup({"user", dir_, "add", "nurse", "--password", passwords[1]}).exit, 0);
  ASSERT_EQ(RunCommand("env SUDO_USER=alice " + SetupLine({"user", dir_, "passwd", "nurse", "--password", "-"}),
                       passwords[2] + "\n").exit, 0);
  ASSERT_EQ(Setup({"user", dir_, "remove", "nurse"}).exit, 0);
  // Refusals and reads change nothing and write no line.
  ASSERT_EQ(Setup({"user", dir_, "remove", "admin"}).exit, 1);
  ASSERT_EQ(Setup({"user", dir_, "add", "admin", "--password", "does not matter"}).exit, 1);
  ASSERT_EQ(Setup({"user", dir_, "list"}).exit, 0);

  const auto by = [&](const std::string& actor) {
    return "\"outcome\":\"success\",\"actorType\":\"setup\",\"actor\":\"" + actor +
           "\",\"address\":\"local\",\"objectType\":\"user\",";
  };
  EXPECT_THAT(AuditEvents(),
              ElementsAre("\"event\":\"user-create\",\"action\":\"C\"," + by(me) +
                              "\"object\":\"admin\",\"changes\":[{\"field\":\"Rights\",\"old\":\"\",\"new\":\"ADMIN\"}],"
                              "\"detail\":\"password set\"}",
                          "\"event\":\"user-create\",\"action\":\"C\"," + by(me) +
                              "\"object\":\"nurse\",\"changes\":[{\"field\":\"Rights\",\"old\":\"\",\"new\":\"GENERAL\"}],"
                              "\"detail\":\"password set\"}",
                          "\"event\":\"user-edit\",\"action\":\"U\"," + by(me + " (sudo alice)") +
                              "\"object\":\"nurse\",\"detail\":\"password changed\"}",
                          "\"event\":\"user-delete\",\"action\":\"D\"," + by(me) +
                              "\"object\":\"nurse\",\"changes\":[{\"field\":\"Rights\",\"old\":\"GENERAL\",\"new\":\"\"}]}"));
  for (const auto& entry : fs::directory_iterator(dir_ + "/logs")) {
    const std::string text = ReadFile(entry.path().string());
    for (const auto& password : passwords) EXPECT_THAT(text, Not(HasSubstr(password))) << entry.path();
    EXPECT_THAT(text, Not(HasSubstr("$argon2"))) << entry.path();
    if (entry.path().string().ends_with("_audit.log")) {
      EXPECT_EQ(fs::status(entry.path()).permissions() & fs::perms::others_all, fs::perms::none);
    }
  }
}

TEST_F(SetupToolTest, AnAuditFileThatRootStartsBelongsToTheOwnerOfTheLogsFolder) {
  // The server, running as the service user, must still append to the day's file.
  if (geteuid() != 0) GTEST_SKIP() << "only root can start a file another user then owns";
  ASSERT_EQ(Setup({"init", dir_, "--admin-password", kAdmin}).exit, 0);
  for (const auto& entry : fs::directory_iterator(dir_ + "/logs")) fs::remove(entry.path());
  const uid_t service = 65534;  // nobody
  ASSERT_EQ(chown((dir_ + "/logs").c_str(), service, service), 0);
  ASSERT_EQ(Setup({"user", dir_, "add", "nurse", "--password", "nurse password"}).exit, 0);
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir_ + "/logs")) {
    struct stat file {};
    ASSERT_EQ(stat(entry.path().c_str(), &file), 0);
    EXPECT_EQ(file.st_uid, service) << entry.path();
    EXPECT_EQ(file.st_gid, service) << entry.path();
    ++files;
  }
  EXPECT_EQ(files, 1);
}

TEST_F(SetupToolTest, ALinkPlantedAsTheDaysAuditFileIsNeitherWrittenNorHandedOver) {
  // Whoever may write in logs/ could otherwise have root append to, and give
  // away, any file it names.
  if (geteuid() != 0) GTEST_SKIP() << "the hand-over runs only as root";
  ASSERT_EQ(Setup({"init", dir_, "--admin-password", kAdmin}).exit, 0);
  for (const auto& entry : fs::directory_iterator(dir_ + "/logs")) fs::remove(entry.path());
  ASSERT_EQ(chown((dir_ + "/logs").c_str(), 65534, 65534), 0);
  const std::string victim = root_ + "/victim";
  std::ofstream(victim) << "root's own\n";
  const std::time_t now = std::time(nullptr);
  char day[16];
  std::strftime(day, sizeof day, "%Y%m%d", std::localtime(&now));
  fs::create_symlink(victim, dir_ + "/logs/" + day + "_audit.log");
  EXPECT_EQ(Setup({"user", dir_, "add", "nurse", "--password", "nurse password"}).exit, 0);
  EXPECT_EQ(ReadFile(victim), "root's own\n");
  struct stat file {};
  ASSERT_EQ(stat(victim.c_str(), &file), 0);
  EXPECT_EQ(file.st_uid, 0u);
}
}  // namespace

}  // namespace tarvelin
