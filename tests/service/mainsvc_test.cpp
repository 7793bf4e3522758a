#include "service/mainsvc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "platform/temp_folder.h"
#include "service/log.h"
#include "support/pinned_clock.h"
#include "service/settings.h"

namespace tarvelin {

namespace fs = std::filesystem;

namespace {
// Hooks that record what the frame asked of them, in order.
struct RecordingComponents {
  std::vector<std::string> calls;
  ServiceComponents hooks;
  RecordingComponents() {
    hooks.StartHL7 = [this](int port, const std::string& folder) {
      calls.push_back("StartHL7 " + std::to_string(port) + " " + folder);
    };
    hooks.StartDicom = [this](const std::string& port) { calls.push_back("StartDicom " + port); };
    hooks.StartWeb = [this](int port) { calls.push_back("StartWeb " + std::to_string(port)); };
    hooks.StartHousekeeping = [this] { calls.push_back("StartHousekeeping"); };
    hooks.StopWeb = [this] { calls.push_back("StopWeb"); };
    hooks.StopDicom = [this] { calls.push_back("StopDicom"); };
    hooks.StopHL7 = [this] { calls.push_back("StopHL7"); };
    hooks.StopHousekeeping = [this] { calls.push_back("StopHousekeeping"); };
  }
};

class MainsvcTest : public ::testing::Test {
 protected:
  void TearDown() override { ClearLogTarget(); }
  TempFolder root_;
  // Missing parents are created too.
  std::string home_ = root_.Path() + "deep/instance/";
  std::string logFile_ = home_ + "logs/20240131_tarvelin.log";
  std::string noStamp_ = root_.Write("unstamped", "an executable without a version stamp");
};
}  // namespace

TEST_F(MainsvcTest, StartCreatesFoldersAndStartsComponentsInOrder) {
  fs::create_directories(home_);
  root_.Write("deep/instance/TRVGUI.ini", "[TRVSVC]\nWL_Port=11112\nHL7Port=2575\nWEBPort=8080\n");
  PinnedClock at(2024, 1, 31, 9, 30, 0);
  RecordingComponents c;
  ServiceStart(root_.Path() + "deep/instance/", c.hooks);
  EXPECT_TRUE(fs::is_directory(home_ + "logs"));
  EXPECT_TRUE(fs::is_directory(home_ + "HL7in"));
  EXPECT_TRUE(fs::is_directory(home_ + "HL7out"));
  EXPECT_EQ(ServerSettings.ProgramFolder, home_);
  EXPECT_EQ(ServerSettings.HL7InFolder, home_ + "HL7in/");
  EXPECT_EQ(ServerSettings.HL7OutFolder, home_ + "HL7out/");
  EXPECT_EQ(LogTarget(), logFile_);

  ServiceStop(c.hooks);
  EXPECT_EQ(LogTarget(), "");
  const std::vector<std::string> expected = {"StartHL7 2575 " + home_, "StartDicom 11112", "StartWeb 8080",
                                             "StartHousekeeping", "StopWeb", "StopDicom", "StopHL7",
                                             "StopHousekeeping"};
  EXPECT_EQ(c.calls, expected);
  EXPECT_EQ(ReadWholeFile(logFile_),
            "09:30:00, INFO, **** Tarvelin V1.0.0 is starting ****\r\n"
            "09:30:00, INFO, Initialized HL7 server at port: 2575\r\n"
            "09:30:00, INFO, Initialized WEB server at port: 8080\r\n"
            "09:30:00, INFO, **** Tarvelin V1.0.0 is finishing ****\r\n");
}

TEST_F(MainsvcTest, WithoutVersionStampTheLinesShowNothingAfterV) {
  PinnedClock at(2024, 1, 31, 9, 30, 0);
  ServiceStart(home_, ServiceComponents{}, noStamp_);
  ServiceStop(ServiceComponents{}, noStamp_);
  EXPECT_EQ(ReadWholeFile(logFile_),
            "09:30:00, INFO, **** Tarvelin V is starting ****\r\n"
            "09:30:00, INFO, **** Tarvelin V is finishing ****\r\n");
}

TEST_F(MainsvcTest, StartAppendsToTheDaysLog) {
  PinnedClock at(2024, 1, 31, 9, 30, 0);
  fs::create_directories(home_ + "logs");
  root_.Write("deep/instance/logs/20240131_tarvelin.log", "earlier line\r\n");
  ServiceStart(home_, ServiceComponents{}, noStamp_);
  EXPECT_EQ(ReadWholeFile(logFile_), "earlier line\r\n09:30:00, INFO, **** Tarvelin V is starting ****\r\n");
}

TEST_F(MainsvcTest, DefaultsAndUnreadablePortsFallBack) {
  root_.Write("TRVGUI.ini", "[TRVSVC]\nHL7Port=abc\nWEBPort=abc\n");
  RecordingComponents c;
  ServiceStart(root_.Path(), c.hooks, noStamp_);
  EXPECT_EQ(c.calls[0], "StartHL7 2100 " + root_.Path());
  EXPECT_EQ(c.calls[2], "StartWeb 80");
  const std::string log = ReadWholeFile(LogTarget());
  EXPECT_NE(log.find("INFO, Initialized HL7 server at port: abc\r\n"), std::string::npos);
  EXPECT_NE(log.find("INFO, Initialized WEB server at port: abc\r\n"), std::string::npos);

  root_.Write("TRVGUI.ini", "[TRVSVC]\nHL7Port=70000\nWEBPort=-1\n");
  RecordingComponents wrapped;
  ServiceStart(root_.Path(), wrapped.hooks, noStamp_);
  EXPECT_EQ(wrapped.calls[0], "StartHL7 2100 " + root_.Path());
  EXPECT_EQ(wrapped.calls[2], "StartWeb 80");

  TempFolder bare;
  RecordingComponents d;
  ServiceStart(bare.Path(), d.hooks, noStamp_);
  EXPECT_EQ(d.calls[0], "StartHL7 2100 " + bare.Path());
  EXPECT_EQ(d.calls[1], "StartDicom 104");
  EXPECT_EQ(d.calls[2], "StartWeb 80");
  EXPECT_TRUE(ServerSettings.Authentication_Enabled);
  EXPECT_EQ(ServerSettings.WL_AET, "TARVELIN");
}

TEST_F(MainsvcTest, AFailingComponentIsLoggedAndTheOthersStillStart) {
  RecordingComponents c;
  c.hooks.StartHL7 = [](int, const std::string&) { throw std::runtime_error("Address already in use"); };
  c.hooks.StartDicom = [](const std::string&) { throw 42; };
  c.hooks.StartWeb = [](int) { throw std::runtime_error("bind failed"); };
  c.hooks.StopWeb = [] { throw std::runtime_error("already down"); };
  PinnedClock at(2024, 1, 31, 9, 30, 0);
  ServiceStart(home_, c.hooks, noStamp_);
  ServiceStop(c.hooks, noStamp_);
  const std::vector<std::string> expected = {"StartHousekeeping", "StopDicom", "StopHL7", "StopHousekeeping"};
  EXPECT_EQ(c.calls, expected);
  const std::string log = ReadWholeFile(logFile_);
  EXPECT_NE(log.find(", ERROR, hl7server: Address already in use\r\n"), std::string::npos);
  EXPECT_EQ(log.find("Initialized HL7 server"), std::string::npos);
  EXPECT_NE(log.find(", ERROR, ServiceStart, DICOM listener: \r\n"), std::string::npos);
  EXPECT_NE(log.find(", ERROR, Exception Activating WEB server in Port: 80\r\n"), std::string::npos);
  EXPECT_EQ(log.find("Initialized WEB server"), std::string::npos);
  EXPECT_NE(log.find(", ERROR, ServiceStop, web server: already down\r\n"), std::string::npos);
  EXPECT_NE(log.find("is finishing ****\r\n"), std::string::npos);
}

TEST_F(MainsvcTest, UnusableUIDRootsAndLimitsAreRefusedAtStart) {
  struct Case {
    std::string root;
    bool kept;
  };
  const Case roots[] = {
      {"1.2.826.0.1.3680043.9.1234", true},
      {"1.2.3.4.5.6.7.8.9.10.11.12.13.1", true},     // 31 characters: every UID fits in 64
      {"1.2.3.4.5.6.7.8.9.10.11.12.13.14", false},   // 32: a generated UID could exceed 64
      {"1.2.840.01", false},                         // leading zero
      {"1..2", false},
      {"1.2.", false},
      {".1.2", false},
      {"1.2.abc", false},
      {"1.2.3 4", false},
  };
  for (const Case& c : roots) {
    TempFolder home;
    home.Write("TRVGUI.ini", "[TRVSVC]\nUIDRoot=" + c.root + "\nMaxAssociations=0\nAssociationTimeout=x\n");
    RecordingComponents components;
    ServiceStart(home.Path(), components.hooks, noStamp_);
    const std::string log = ReadWholeFile(LogTarget());
    EXPECT_EQ(ServerSettings.UIDRoot, c.kept ? c.root : "") << c.root;
    EXPECT_EQ(log.find("ERROR, UIDRoot " + c.root + " refused: not a UID prefix of at most 31 characters") !=
                  std::string::npos,
              !c.kept)
        << c.root << "\n" << log;
    EXPECT_EQ(ServerSettings.MaxAssociations, 100);
    EXPECT_EQ(ServerSettings.AssociationTimeout, 30);
    ClearLogTarget();
  }
  TempFolder home;
  home.Write("TRVGUI.ini", "[TRVSVC]\nMaxAssociations=20\nAssociationTimeout=5\n");
  RecordingComponents components;
  ServiceStart(home.Path(), components.hooks, noStamp_);
  EXPECT_EQ(ServerSettings.MaxAssociations, 20);
  EXPECT_EQ(ServerSettings.AssociationTimeout, 5);
}

}  // namespace tarvelin
