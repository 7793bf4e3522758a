#include "service/log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/temp_folder.h"
#include "support/pinned_clock.h"
#include "service/settings.h"

namespace {
class LogTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ClearLogTarget();
    ServerSettings.LogLevel = 1;
  }
  TempFolder folder_;
  std::string file_ = folder_.Path() + "test.log";
};
}  // namespace

TEST_F(LogTest, LineIsTimeCommaTextCrLf) {
  PinnedClock at(2024, 1, 31, 7, 5, 9);
  SetLogTarget(file_);
  WriteLog("INFO, hello");
  WriteLog("");
  WriteLog("Echo RSP: Ok!, Socket: 7");
  EXPECT_EQ(ReadWholeFile(file_), "07:05:09, INFO, hello\r\n07:05:09, \r\n07:05:09, Echo RSP: Ok!, Socket: 7\r\n");
}

TEST_F(LogTest, TargetChangesAndRelease) {
  WriteLog("INFO, before any target");  // goes nowhere, and must not fail
  SetLogTarget(file_);
  SetLogTarget("");  // leaves the target as it was
  EXPECT_EQ(LogTarget(), file_);
  WriteLog("INFO, one");
  ClearLogTarget();
  EXPECT_EQ(LogTarget(), "");
  WriteLog("INFO, after release");
  SetLogTarget(folder_.Path() + "no/such/folder/x.log");
  WriteLog("INFO, lost without notice");
  const std::string text = ReadWholeFile(file_);
  EXPECT_NE(text.find("INFO, one\r\n"), std::string::npos);
  EXPECT_EQ(text.find("after release"), std::string::npos);
  EXPECT_EQ(text.find("before any target"), std::string::npos);
}

TEST_F(LogTest, DebugLinesOnlyAtLevelTwo) {
  SetLogTarget(file_);
  ServerSettings.LogLevel = 1;
  EXPECT_FALSE(DebugLogOn());
  WriteDebugLog("PDU field A");
  ServerSettings.LogLevel = 2;
  EXPECT_TRUE(DebugLogOn());
  WriteDebugLog("PDU field B");
  const std::string text = ReadWholeFile(file_);
  EXPECT_EQ(text.find("PDU field A"), std::string::npos);
  EXPECT_NE(text.find("PDU field B"), std::string::npos);
}

TEST_F(LogTest, TwoThreadsWriteWholeLines) {
  SetLogTarget(file_);
  const std::string a = "INFO, thread A " + std::string(200, 'a');
  const std::string b = "INFO, thread B " + std::string(200, 'b');
  auto writer = [](const std::string& text) {
    for (int i = 0; i < 1000; ++i) WriteLog(text);
  };
  std::thread first(writer, a), second(writer, b);
  // A target change in the middle of the writing must not tear a line.
  SetLogTarget(file_);
  first.join();
  second.join();

  std::istringstream lines(ReadWholeFile(file_));
  std::string line;
  int countA = 0, countB = 0;
  while (std::getline(lines, line)) {
    ASSERT_EQ(line.back(), '\r');
    ASSERT_EQ(line.substr(8, 2), ", ");
    const std::string text = line.substr(10, line.size() - 11);
    if (text == a) ++countA;
    else if (text == b) ++countB;
    else FAIL() << "torn line: " << line;
  }
  EXPECT_EQ(countA, 1000);
  EXPECT_EQ(countB, 1000);
}

TEST_F(LogTest, DailyFileIsNamedByLocalDate) {
  ServerSettings.LogFolder = "/srv/wl/logs/";
  {
    PinnedClock at(2024, 1, 31, 23, 59, 59);
    EXPECT_EQ(DailyLogPath(), "/srv/wl/logs/20240131_tarvelin.log");
  }
  PinnedClock at(2024, 2, 1, 0, 0, 0);
  EXPECT_EQ(DailyLogPath(), "/srv/wl/logs/20240201_tarvelin.log");
}

// The file stays open between lines, yet lines land under the current target
// name: at once after a target switch, and after another program moved
// (rotated) or removed the file, once the name is looked up again (at most a
// tenth of a second later).
TEST_F(LogTest, LinesFollowTheTargetName) {
  const auto PassRecheck = [] { std::this_thread::sleep_for(std::chrono::milliseconds(150)); };
  const std::string other = folder_.Path() + "other.log", rotated = file_ + ".1";
  struct Step {
    const char* Line;
    std::function<void()> Before;
    std::string File;  // where the line must land
  };
  const Step steps[] = {
      {"INFO, first", [&] { SetLogTarget(file_); }, file_},
      {"INFO, switched", [&] { SetLogTarget(other); }, other},
      {"INFO, back", [&] { SetLogTarget(file_); }, file_},
      {"INFO, after rotation", [&] { std::rename(file_.c_str(), rotated.c_str()); PassRecheck(); }, file_},
      {"INFO, after removal", [&] { std::remove(file_.c_str()); PassRecheck(); }, file_},
  };
  for (const Step& step : steps) {
    step.Before();
    WriteLog(step.Line);
    EXPECT_NE(ReadWholeFile(step.File).find(std::string(step.Line) + "\r\n"), std::string::npos) << step.Line;
  }
  EXPECT_EQ(ReadWholeFile(rotated).find("after rotation"), std::string::npos);
  EXPECT_NE(ReadWholeFile(rotated).find("INFO, back"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(other).find("INFO, back"), std::string::npos);
}
