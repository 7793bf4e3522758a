#include "platform/file_version.h"

#include <gtest/gtest.h>

#include "platform/program_folder.h"
#include "platform/temp_folder.h"

namespace tarvelin {

namespace {
// Built at run time so this test binary holds no stamp-shaped literal of its own.
std::string Marker() { return std::string("TRV-FILE") + "-VERSION="; }
std::string Stamp(const std::string& version) { return Marker() + version + '\0'; }
const std::string kStamp = Stamp("2.9" ".1.0");
}

TEST(FileVersionText, ShowsMajorMinorReleaseOfTheStamp) {
  TempFolder folder;
  EXPECT_EQ(FileVersionText(folder.Write("a.bin", "\x7f" "ELF junk" + kStamp + "more")), "2.9.1");
  EXPECT_EQ(FileVersionText(folder.Write("b.bin", Stamp("65535.0.12.9"))), "65535.0.12");
}

TEST(FileVersionText, OurOwnBinaryCarriesTheProjectVersion) {
  EXPECT_EQ(FileVersionText(ExecutablePath()), "1.0.0");
}

TEST(FileVersionText, FilesWithoutAWellFormedStampGiveEmptyText) {
  TempFolder folder;
  EXPECT_EQ(FileVersionText(folder.Path() + "missing"), "");
  EXPECT_EQ(FileVersionText(folder.Write("empty", "")), "");
  EXPECT_EQ(FileVersionText(folder.Write("plain", "no version here")), "");
  EXPECT_EQ(FileVersionText(folder.Write("bare", Stamp(""))), "");
  EXPECT_EQ(FileVersionText(folder.Write("three", Stamp("1.2.3"))), "");
  EXPECT_EQ(FileVersionText(folder.Write("huge", Stamp("70000.1.1.1"))), "");
  EXPECT_EQ(FileVersionText(folder.Write("open", Marker() + "1.2.3.4")), "");
  EXPECT_EQ(FileVersionText(folder.Path()), "");  // a folder, not a file
}

TEST(FileVersionText, FindsTheStampAfterFalseStartsAndAcrossReadBoundaries) {
  TempFolder folder;
  std::string falseStart = Stamp("");
  EXPECT_EQ(FileVersionText(folder.Write("c.bin", falseStart + std::string(100000, 'x') + kStamp)), "2.9.1");
  // Put the stamp across every position around the 64 KiB read size.
  for (std::size_t offset = 65536 - 30; offset <= 65536 + 2; offset += 4) {
    std::string bytes(offset, 'z');
    bytes += kStamp;
    EXPECT_EQ(FileVersionText(folder.Write("d.bin", bytes)), "2.9.1") << "stamp at " << offset;
  }
}

}  // namespace tarvelin
