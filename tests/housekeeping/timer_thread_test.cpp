// The housekeeping thread's schedule at pinned instants, its stop, and the
// HOUSEKEEPING command of the executable.
#include "housekeeping/timer_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "db/service_lease.h"
#include "db/sqldb.h"
#include "db/storage_location.h"
#include "service/log.h"
#include "service/settings.h"
#include "support/child_process.h"
#include "support/database_folder.h"
#include "support/log_file.h"
#include "support/pinned_clock.h"
#include "support/running_tarvelin.h"
#include "support/scratch_schema.h"

namespace tarvelin {

namespace fs = std::filesystem;

namespace {

const std::string Executable = std::string(TARVELIN_BIN_DIR) + "/tarvelin";

void AddScheduled(const std::string& accession, const std::string& date) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  ASSERT_EQ(db.Exec("INSERT INTO Worklist (PatientID, PatientName, AccessionNumber, Modality, SPSDate, SPSTime, "
                    "SPSStatus) VALUES ('P1', 'DOE^JOHN', '" + accession + "', 'CT', '" + date + "', '0800', 'SCHEDULED')"),
            0);
}

// The log and drop folders of the instance in `folder`, made.
void UseWorkingFolders(const DatabaseFolder& folder) {
  ServerSettings.LogFolder = folder.Home() + "logs/";
  ServerSettings.HL7InFolder = folder.Home() + "HL7in/";
  ServerSettings.HL7OutFolder = folder.Home() + "HL7out/";
  for (const std::string& f : {ServerSettings.LogFolder, ServerSettings.HL7InFolder, ServerSettings.HL7OutFolder})
    fs::create_directories(f);
}

TEST(TimerThread, RollsTheLogAfterMidnightAndAgesEveryTenMinutes) {
  DatabaseFolder folder("timer");
  ASSERT_EQ(folder.Problem(), "");
  UseWorkingFolders(folder);
  AddScheduled("TWO-DAYS", "20240308");
  AddScheduled("YESTERDAY", "20240309");

  TimerThread timer(Executable);
  {
    PinnedClock evening(2024, 3, 10, 23, 55, 0);
    for (int tick = 1; tick < 60; ++tick) timer.Tick();
    EXPECT_EQ(CountOf(folder.Log(), "Discontinued"), 0) << "no pass before the tenth minute";
    timer.Tick();
    EXPECT_EQ(LogTarget(), ServerSettings.LogFolder + "20240310_tarvelin.log");
    EXPECT_EQ(CountOf(ReadLogFolder(ServerSettings.LogFolder), "Discontinued"), 1);
  }
  {
    PinnedClock afterMidnight(2024, 3, 11, 0, 5, 0);
    for (int tick = 0; tick < 60; ++tick) timer.Tick();
  }
  const std::string newDay = ReadFile(ServerSettings.LogFolder + "20240311_tarvelin.log");
  EXPECT_EQ(newDay.substr(0, newDay.find("\r\n")), "00:05:00, INFO, TRVSVC V1.0.0");
  EXPECT_NE(newDay.find("Discontinued Worklist Entry: YESTERDAY"), std::string::npos) << newDay;
  EXPECT_EQ(CountOf(ReadLogFolder(ServerSettings.LogFolder), "INFO, TRVSVC V"), 2);
  SetLogTarget(folder.LogPath());
}

TEST(TimerThread, ScansAndAgesOnlyWhileThisServerHoldsTheDuty) {
  const ScratchSchema schema;
  if (!schema.Named()) GTEST_SKIP() << schema.Problem();
  ASSERT_EQ(schema.Problem(), "");
  DatabaseFolder folder("timer-lease");
  ASSERT_EQ(folder.Problem(), "");
  UseWorkingFolders(folder);
  UseStorage({folder.Home() + "database/", schema.Conninfo()});
  const std::string order = ServerSettings.HL7InFolder + "order.xml";
  std::ofstream(order) << R"(<Order PatientID="P2" PatientsName="ROE^JANE" AccessionNumber="L1" Modality="MR"/>)";
  fs::last_write_time(order, fs::file_time_type::clock::now() - std::chrono::seconds(10));

  // Another server holds both duties.
  auto otherScan = std::make_unique<ServiceLease>(Duty::DropFolderScan);
  ServiceLease otherAgeing(Duty::Housekeeping);
  ASSERT_TRUE(otherScan->Held());
  ASSERT_TRUE(otherAgeing.Held());
  TimerThread timer(Executable);
  for (int tick = 0; tick < 60; ++tick) timer.Tick();
  SetLogTarget(folder.LogPath());  // back from the day's file the tenth minute opened
  const auto log = [&] { return folder.Log() + ReadLogFolder(ServerSettings.LogFolder); };
  EXPECT_TRUE(fs::exists(order)) << "the other server's folder scan";
  EXPECT_EQ(CountOf(log(), "another server runs the drop-folder scan, this one stands by"), 1) << log();
  EXPECT_EQ(CountOf(log(), "another server runs housekeeping, this one stands by"), 1) << log();

  // That server stops: this one scans at its next minute.
  otherScan.reset();
  EXPECT_TRUE(WaitUntil(
      [&] {
        for (int tick = 0; tick < 6; ++tick) timer.Tick();
        return !fs::exists(order);
      },
      5000));
  EXPECT_TRUE(fs::exists(ServerSettings.HL7OutFolder + "order.xml"));
  // The first line is the other lease's, written into this process's log too.
  EXPECT_EQ(CountOf(log(), "this server runs the drop-folder scan now"), 2) << log();
  UseStorage(StorageLocation::OfInstance(folder.Home()));
}

TEST(TimerThread, EndsAtOnceWhenAskedWhileSleeping) {
  TimerThread timer(Executable);
  timer.Start();
  EXPECT_FALSE(timer.WaitFor(100));
  const auto asked = std::chrono::steady_clock::now();
  timer.Terminate();
  EXPECT_TRUE(timer.WaitFor(5000));
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));
}

TEST(HousekeepingCommand, OnePassAndOneScanThenExit) {
  TarvelinInstance instance("housekeeping-cmd");
  ASSERT_EQ(instance.InitWithSetupTool("housekeeping admin password"), "");
  {
    UseStorage(instance.Storage());
    AddScheduled("OLD-ONE", "20200101");
  }
  const std::string order = instance.Home() + "HL7in/order.xml";
  std::ofstream(order) << R"(<Order PatientID="P2" PatientsName="ROE^JANE" AccessionNumber="X1" Modality="MR"/>)";
  fs::last_write_time(order, fs::file_time_type::clock::now() - std::chrono::seconds(10));

  ChildProcess run(Executable, {"HOUSEKEEPING", "--home", instance.Home()});
  ASSERT_TRUE(run.Started());
  EXPECT_EQ(RunToEnd(run), 0) << run.Errors();
  const std::string log = instance.Log();
  EXPECT_NE(log.find("Discontinued Worklist Entry: OLD-ONE"), std::string::npos) << log;
  EXPECT_NE(log.find("INFO, HL7FileProcess, Message Processed"), std::string::npos) << log;
  EXPECT_EQ(ReadFile(instance.Home() + "HL7out/order.xml"), "Message Processed\r\n");

  // Without a database nothing can be done, and the order files stay.
  SQLITE_ONLY("the rest removes the database file");
  fs::remove(instance.Home() + "database/quillat.db");
  std::ofstream(order) << "kept";
  fs::last_write_time(order, fs::file_time_type::clock::now() - std::chrono::seconds(10));
  ChildProcess failed(Executable, {"HOUSEKEEPING", "--home", instance.Home()});
  EXPECT_EQ(RunToEnd(failed), 1);
  EXPECT_NE(failed.Errors().find("cannot be used"), std::string::npos) << failed.Errors();
  EXPECT_TRUE(fs::exists(order));
}

}  // namespace

}  // namespace tarvelin
