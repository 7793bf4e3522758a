// tarvelin-setup init --database and migrate against a real PostgreSQL
// server: an instance full of hostile values goes to PostgreSQL and back and
// is the same file again, past the gateway; every refusal is one line, exit
// status 1, and changes nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "db/instance_tables.h"
#include "db/schema_version.h"
#include "db/sqldb.h"
#include "db/table_fingerprint.h"
#include "db/table_reader.h"
#include "platform/ini_file.h"
#include "support/child_process.h"
#include "support/free_port.h"
#include "support/instance_sample.h"
#include "support/log_file.h"
#include "support/scratch_schema.h"
#include "temp_folder.h"

namespace tarvelin {

namespace fs = std::filesystem;

namespace {
constexpr const char* kPassword = "admin password";

// A schema of this test's own on the run's PostgreSQL server (the tests here
// need PostgreSQL whichever engine the rest of the run uses).
class MigrationSchema {
 public:
  bool Named() const { return scratch_.Named(); }
  bool Ready() const { return scratch_.Named() && scratch_.Problem().empty(); }
  const std::string& Problem() const { return scratch_.Problem(); }
  const std::string& Conninfo() const { return scratch_.Conninfo(); }
  const std::string& Server() const { return scratch_.Server(); }
  // The schema version and every table's rows, reduced to digests.
  std::string Dump() const {
    SQLdb db(PostgresAt{Conninfo()}, SQLdb::ReadWrite);
    int version = 0;
    std::string error;
    if (!ReadSchemaVersion(db, version, error)) return "unreadable: " + error;
    std::string dump = "version " + std::to_string(version);
    if (version == 0) return dump;
    for (const InstanceTable& table : InstanceTables()) {
      TableReader reader(db, table);
      TableFingerprint print;
      std::vector<TableRow> rows;
      do {
        if (!reader.Next(rows)) return dump + " unreadable " + table.name;
        for (const TableRow& row : rows) print.Add(row);
      } while (!rows.empty());
      dump += std::string(" ") + table.name + " " + print.Digest();
    }
    return dump;
  }

 private:
  ScratchSchema scratch_;
};

struct SetupRun {
  int exit = -1;
  std::string out, err;
};

class MigrateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!schema_.Named()) GTEST_SKIP() << "no PostgreSQL test server";
    ASSERT_TRUE(schema_.Ready()) << schema_.Problem();
  }

  static SetupRun Setup(const std::vector<std::string>& args) {
    ChildProcess child(std::string(TARVELIN_BIN_DIR) + "/tarvelin-setup", args);
    SetupRun run;
    run.exit = child.WaitFor(std::chrono::seconds(60)).value_or(-2);
    run.out = child.Output();
    run.err = child.Errors();
    return run;
  }
  void Init(const std::string& dir) const {
    const SetupRun r = Setup({"init", dir, "--admin-password", kPassword});
    ASSERT_EQ(r.exit, 0) << r.err;
  }
  std::string Setting(const std::string& dir) const {
    return IniFile(dir + "/TRVGUI.ini").ReadString("TRVSVC", "Database", "<none>");
  }
  std::string Target() const { return std::string("postgresql:") + schema_.Conninfo(); }

  TempFolder temp_;
  const std::string dir_ = temp_.path() + "/instance";
  const std::string file_ = dir_ + "/database/quillat.db";
  MigrationSchema schema_;
};

TEST_F(MigrateTest, HostileInstanceGoesToPostgresAndBackUnchanged) {
  Init(dir_);
  ASSERT_EQ(FillSampleInstance(file_), "");
  const std::string original = DumpInstance(file_);

  SetupRun r = Setup({"migrate", dir_, "--to", Target()});
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(Setting(dir_), Target());
  EXPECT_FALSE(fs::exists(file_));
  EXPECT_EQ(DumpInstance(file_ + ".before-migrate"), original);
  EXPECT_NE(r.out.find("Worklist: 1234 rows, digest"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("PerformedSteps: 5 rows, digest"), std::string::npos) << r.out;

  // The other commands now work on PostgreSQL.
  r = Setup({"user", dir_, "list"});
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.out.find("admin"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("user O'BRIEN"), std::string::npos) << r.out;

  r = Setup({"migrate", dir_, "--to", "sqlite"});
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(Setting(dir_), "<none>");
  EXPECT_EQ(DumpInstance(file_), original);
  EXPECT_FALSE(fs::exists(file_ + ".before-migrate-2"));  // nothing was there to keep
  EXPECT_EQ(fs::status(file_).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

  // The data stays on PostgreSQL, and a study description added there without
  // a code is numbered past the codes the copy wrote.
  SQLdb postgres(PostgresAt{schema_.Conninfo()}, SQLdb::ReadWrite);
  ASSERT_EQ(postgres.Exec("INSERT INTO StudyDescription (Modality, Description) VALUES ('CT', 'added')"), 0)
      << postgres.ErrorText;
  std::vector<std::string> code;
  ASSERT_EQ(postgres.Query("SELECT Code FROM StudyDescription WHERE Description = 'added'", code), 0);
  EXPECT_EQ(code, std::vector<std::string>{"100000;"});
}

TEST_F(MigrateTest, InitMakesTheTablesAndASecondInstanceSharesThem) {
  SetupRun r = Setup({"init", dir_, "--admin-password", kPassword, "--database", Target()});
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(Setting(dir_), Target());
  EXPECT_FALSE(fs::exists(file_));
  EXPECT_TRUE(fs::is_directory(dir_ + "/HL7in"));

  const std::string second = temp_.path() + "/second";
  r = Setup({"init", second, "--admin-password", kPassword, "--database", Target()});
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("leave out --admin-password"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(second));
  r = Setup({"init", second, "--database", Target()});
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out.find("password:"), std::string::npos) << r.out;  // no new user
  r = Setup({"user", second, "list"});
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.out.find("admin"), std::string::npos) << r.out;

  // A TRVGUI.ini put in place before init names the database by itself.
  const std::string third = temp_.path() + "/third";
  fs::create_directories(third);
  std::ofstream(third + "/TRVGUI.ini") << "[TRVSVC]\nDatabase=" << Target() << "\n";
  r = Setup({"init", third});
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.out.find("this instance shares them"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(third + "/database/quillat.db"));
}

// Each refusal: one line on standard error, exit status 1, and the file,
// the settings and the PostgreSQL schema as they were.
TEST_F(MigrateTest, RefusalsChangeNothing) {
  int port = 0;
  const int listener = ListenLoopback(port);
  ASSERT_GE(listener, 0);
  const struct {
    const char* name;
    std::string to;
    std::function<void(const std::string& dir)> prepare;
    const char* says;
  } cases[] = {
      {"server running", Target(),
       [&](const std::string& dir) { ASSERT_EQ(Setup({"config", dir, "TRVSVC", "WL_Port", std::to_string(port)}).exit, 0); },
       "is running"},
      {"older schema", Target(),
       [&](const std::string& dir) {
         const std::string file = dir + "/database/quillat.db";
         ASSERT_EQ(RunPeer("sqlite3 " + ShellQuote(file) + " 'UPDATE SchemaVersion SET Version = 3'").ExitCode, 0);
       },
       "has schema version 3"},
      // A database that is not there is refused at once (a server that is
      // down is waited for, as during a failover).
      {"no such database", "postgresql:" + schema_.Server() + " dbname=tarvelin_no_such_database", nullptr,
       "cannot connect to"},
      {"already on sqlite", "sqlite", nullptr, "already uses its SQLite database"},
      {"target holds data", Target(),
       [&](const std::string&) {
         const SetupRun other = Setup({"init", temp_.path() + "/other", "--database", Target()});
         ASSERT_EQ(other.exit, 0) << other.err;
       },
       "already holds Tarvelin data"},
      {"target at another version", Target(),
       [&](const std::string&) {
         SQLdb db(PostgresAt{schema_.Conninfo()}, SQLdb::ReadWrite);
         ASSERT_EQ(db.Exec("UPDATE SchemaVersion SET Version = 3"), 0) << db.ErrorText;
       },
       "has schema version 3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = temp_.path() + "/" + std::to_string(&c - cases);
    Init(dir);
    const std::string file = dir + "/database/quillat.db";
    ASSERT_EQ(FillSampleInstance(file), "");
    if (c.prepare) c.prepare(dir);
    const std::string ini = ReadFile(dir + "/TRVGUI.ini");
    const std::string before = DumpInstance(file);
    const std::string schemaBefore = schema_.Dump();
    const SetupRun r = Setup({"migrate", dir, "--to", c.to});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(ReadFile(dir + "/TRVGUI.ini"), ini);
    EXPECT_EQ(DumpInstance(file), before);
    EXPECT_EQ(schema_.Dump(), schemaBefore);
  }
  close(listener);
}

}  // namespace
}  // namespace tarvelin
