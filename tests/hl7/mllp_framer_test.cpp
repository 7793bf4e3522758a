#include "hl7/mllp_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvelin {

namespace {

std::vector<std::string> Drain(MllpFramer& framer) {
  std::vector<std::string> messages;
  std::string m;
  while (framer.Next(m)) messages.push_back(m);
  return messages;
}

TEST(MllpFramer, CollectsAFrameAcrossReadsAndDeliversItOnce) {
  MllpFramer framer;
  framer.Feed("\x0bMSH|^~\\&|A");
  EXPECT_TRUE(Drain(framer).empty());
  framer.Feed("|B\rPID|1\r\x1c");  // end block split from its CR
  EXPECT_TRUE(Drain(framer).empty());
  framer.Feed("\x0d");
  EXPECT_EQ(Drain(framer), std::vector<std::string>{"MSH|^~\\&|A|B\rPID|1\r"});
}

TEST(MllpFramer, SeveralFramesInOneReadComeOutInOrder) {
  MllpFramer framer;
  framer.Feed("\x0bONE\x1c\x0d\x0bTWO\x1c\x0d\x0bTHR");
  EXPECT_EQ(Drain(framer), (std::vector<std::string>{"ONE", "TWO"}));
  framer.Feed("EE\x1c\x0d");
  EXPECT_EQ(Drain(framer), std::vector<std::string>{"THREE"});
}

TEST(MllpFramer, UnframedBytesAreTakenAsTheyComeAndStrayLineEndsIgnored) {
  MllpFramer framer;
  framer.Feed("MSH|^~\\&|RAW\rPID|1\r");
  framer.Feed("\r\n");                       // only a line end: no message
  framer.Feed("\x0b" "FRAMED\x1c\x0d\r\n");     // trailing CR LF after the end block
  framer.Feed("  ");
  EXPECT_EQ(Drain(framer), (std::vector<std::string>{"MSH|^~\\&|RAW\rPID|1\r", "FRAMED"}));
  // A text before a start block in the same read is a message of its own.
  framer.Feed("JUNK\x0bNEXT\x1c\x0d");
  EXPECT_EQ(Drain(framer), (std::vector<std::string>{"JUNK", "NEXT"}));
}

TEST(MllpFramer, NewStartBlockAbandonsTheIncompleteFrame) {
  MllpFramer framer;
  framer.Feed("\x0bHALF A MESS");
  framer.Feed("\x0bWHOLE\x1c\x0d");
  EXPECT_EQ(Drain(framer), std::vector<std::string>{"WHOLE"});
  EXPECT_EQ(framer.TakeAbandoned(), 1);
  EXPECT_EQ(framer.TakeAbandoned(), 0);
}

TEST(MllpFramer, FrameOfTheLimitIsTakenOneByteMoreOverflows) {
  MllpFramer exact;
  exact.Feed("\x0b" + std::string(MllpFramer::MaxFrame, 'x') + "\x1c\x0d");
  EXPECT_FALSE(exact.Overflowed());
  EXPECT_EQ(Drain(exact).at(0).size(), MllpFramer::MaxFrame);

  MllpFramer endless;
  endless.Feed("\x0bMSH|^~\\&|A|B|C|D|E||ORM^O01|BIG|P\r");
  const std::string chunk(65536, 'y');
  for (int i = 0; i < 17 && !endless.Overflowed(); ++i) endless.Feed(chunk);
  EXPECT_TRUE(endless.Overflowed());
  EXPECT_TRUE(Drain(endless).empty());
  EXPECT_LE(endless.Partial().size(), MllpFramer::MaxFrame + 1);
  endless.Feed("\x1c\x0d");  // nothing more is taken after an overflow
  EXPECT_TRUE(Drain(endless).empty());
}

}  // namespace

}  // namespace tarvelin
