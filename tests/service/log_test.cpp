#include "service/log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "platform/temp_folder.h"
#include "service/log_peer.h"
#include "support/pinned_clock.h"
#include "service/settings.h"

namespace tarvelin {

namespace {
int CountOf(const std::string& text, const std::string& needle) {
  int count = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

class LogTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ClearLogTarget();
    ServerSettings.LogLevel = 1;
    ServerSettings.LogLineLimit = 8192;
    ServerSettings.LogRotateMB = 20;
    ServerSettings.LogRotateFiles = 5;
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

TEST_F(LogTest, ABatchWritesItsLinesTogetherInOrderAndComplaintsAtOnce) {
  PinnedClock at(2024, 1, 31, 7, 5, 9);
  SetLogTarget(file_);
  {
    LogBatch batch;
    WriteLog("INFO, first");
    WriteLog("INFO, second");
    EXPECT_EQ(ReadWholeFile(file_), "") << "gathered lines wait for the batch's end";
    WriteLog("WARNING, a complaint");
    EXPECT_EQ(ReadWholeFile(file_), "07:05:09, INFO, first\r\n07:05:09, INFO, second\r\n07:05:09, WARNING, a complaint\r\n");
    WriteLog("INFO, third");
    const std::string filler(100, 'x');
    while (ReadWholeFile(file_).find(filler) == std::string::npos) WriteLog("INFO, " + filler);
    EXPECT_LE(ReadWholeFile(file_).size(), LogBatch::Bytes + 300) << "written once the batch holds its size";
    WriteLog("INFO, last");
  }
  const std::string text = ReadWholeFile(file_);
  EXPECT_NE(text.find("third\r\n07:05:09, INFO, xxx"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 22), "07:05:09, INFO, last\r\n");
  WriteLog("INFO, after the batch");
  EXPECT_NE(ReadWholeFile(file_).find("after the batch"), std::string::npos);
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

// Whatever a peer sent stays on one line of bounded length.
TEST_F(LogTest, TextIsEscapedAndCutSoNoLineCanBeForged) {
  PinnedClock at(2024, 1, 31, 7, 5, 9);
  ServerSettings.LogLineLimit = 24;
  SetLogTarget(file_);
  const struct {
    std::string text;
    std::string body;
  } cases[] = {
      {"INFO, plain", "INFO, plain"},
      {"GET /x\r\n07:00:00, INFO, forged", "GET /x\\r\\n07:00:00, INFO ...[8 more bytes]"},
      {std::string("a\tb\x1b[2Jc\x7f\0d", 11), "a\\x09b\\x1B[2Jc\\x7F\\x00d"},
      {std::string(30, 'x'), std::string(24, 'x') + " ...[6 more bytes]"},
      {std::string(23, 'y') + "\r", std::string(23, 'y') + " ...[1 more bytes]"},  // an escape is never split
      {"MSH|^~\\&|R\xc3\xa9S", "MSH|^~\\&|R\xc3\xa9S"},  // bytes above 0x7F stay
  };
  std::string expected;
  for (const auto& c : cases) {
    WriteLog(c.text);
    expected += "07:05:09, " + c.body + "\r\n";
  }
  EXPECT_EQ(ReadWholeFile(file_), expected);
}

// Lines of a connection name its peer; one peer's identical complaints are
// written a few times a minute, never thousands.
TEST_F(LogTest, PeerLinesNameThePeerAndRepeatedComplaintsAreLimited) {
  SetLogTarget(file_);
  {
    const PeerLogScope peer("10.0.0.9");
    for (int i = 0; i < 50; ++i) WriteLog("ERROR, bad frame");
    for (int i = 0; i < 8; ++i) WriteLog("INFO, message taken");
    WriteLog("WARNING, another complaint");
    {
      const PeerLogScope inner("10.0.0.10");
      WriteLog("ERROR, bad frame");
    }
    WriteLog("ERROR, back outside");
  }
  WriteLog("ERROR, bad frame");
  const std::string text = ReadWholeFile(file_);
  EXPECT_EQ(CountOf(text, "ERROR, bad frame, from 10.0.0.9\r\n"), 5) << text;
  EXPECT_EQ(CountOf(text, "INFO, message taken, from 10.0.0.9\r\n"), 8);
  EXPECT_EQ(CountOf(text, "WARNING, another complaint, from 10.0.0.9\r\n"), 1);
  EXPECT_EQ(CountOf(text, "ERROR, bad frame, from 10.0.0.10\r\n"), 1);
  EXPECT_EQ(CountOf(text, "ERROR, back outside, from 10.0.0.9\r\n"), 1);
  EXPECT_EQ(CountOf(text, ", ERROR, bad frame\r\n"), 1);  // no peer, no limit, no suffix
}

TEST_F(LogTest, FullFilesAreMovedAsideAndTheOldestDropped) {
  ServerSettings.LogRotateMB = 1;
  ServerSettings.LogRotateFiles = 2;
  ServerSettings.LogLineLimit = 0;
  SetLogTarget(file_);
  const std::string line = "INFO, " + std::string(1000, 'r');
  for (int i = 0; i < 3500; ++i) WriteLog(line + std::to_string(i));
  for (const std::string& part : {file_, file_ + ".1", file_ + ".2"}) {
    struct stat info {};
    ASSERT_EQ(stat(part.c_str(), &info), 0) << part;
    EXPECT_LE(info.st_size, 1 << 20) << part;
    EXPECT_EQ(info.st_mode & 0777, 0640) << part;
  }
  EXPECT_NE(ReadWholeFile(file_).find(line + "3499\r\n"), std::string::npos);
  EXPECT_NE(ReadWholeFile(file_ + ".1").find(line + "2500\r\n"), std::string::npos);
  EXPECT_NE(ReadWholeFile(file_ + ".2").find(line + "1500\r\n"), std::string::npos);
  struct stat gone {};
  EXPECT_NE(stat((file_ + ".3").c_str(), &gone), 0);
}

TEST_F(LogTest, AnOlderOpenFileIsClosedToOthers) {
  {
    std::FILE* f = std::fopen(file_.c_str(), "w");
    std::fclose(f);
  }
  chmod(file_.c_str(), 0666);
  SetLogTarget(file_);
  WriteLog("INFO, hello");
  struct stat info {};
  ASSERT_EQ(stat(file_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640);
}

}  // namespace tarvelin
