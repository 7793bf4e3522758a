// Streams from the network are untrusted: every malformed one must fail
// cleanly with a log line, without reading past the buffer or allocating
// what a length merely claims.
#include <gtest/gtest.h>

#include "dicom/bufdata.h"
#include "dicom_test_support.h"
#include "support/log_file.h"

namespace tarvelin {

TEST(BufDataMalformed, LengthBeyondTheStreamFailsBeforeAllocating) {
  LogCapture log;
  StreamBuilder s;
  s.Implicit(0x0010, 0x0020, "PID1");
  s.Tag(0x0010, 0x0010).U32(0xFFFFFFF0).Text("DOE^");
  DcmObj obj;
  EXPECT_FALSE(Decode(s.bytes(), obj));
  EXPECT_EQ(obj.Count(), 1u) << "entries decoded so far stay";
  EXPECT_NE(log.Text().find("ERROR, BufData::ReadTag, read bytes!=tag->length (0010,0010) "
                            "count=4, tag->length=4294967280"),
            std::string::npos)
      << log.Text();
}

TEST(BufDataMalformed, SequenceLongerThanItsParentFails) {
  LogCapture log;
  const Bytes item = StreamBuilder().Implicit(0x0040, 0x0001, "CT01").bytes();
  StreamBuilder s;
  s.Tag(0x0040, 0x0100).U32(std::uint32_t(item.size() + 8));
  s.Tag(0xFFFE, 0xE000).U32(std::uint32_t(item.size() + 100)).Raw(item);
  DcmObj obj;
  EXPECT_FALSE(Decode(s.bytes(), obj));
  EXPECT_NE(log.Text().find("read bytes!=tag->length (FFFE,E000) count=12, tag->length=112"),
            std::string::npos);
  EXPECT_NE(log.Text().find("ERROR, Expand_SQ: Reading tag..."), std::string::npos);
  EXPECT_EQ(obj.Count(), 0u);
}

TEST(BufDataMalformed, HeaderCutShortFails) {
  const Bytes whole = StreamBuilder().ExplicitLong(0x0040, 0x0400, "UT", 0).bytes();
  for (std::size_t cut = 1; cut < whole.size(); ++cut) {
    LogCapture log;
    DcmObj obj;
    obj.ExplicitVR = 1;
    EXPECT_FALSE(Decode(Bytes(whole.begin(), whole.begin() + cut), obj)) << "cut at " << cut;
    EXPECT_NE(log.Text().find("ERROR, BufData::ReadTag, stream ends inside"), std::string::npos);
  }
}

TEST(BufDataMalformed, DeepNestingIsRefused) {
  LogCapture log;
  Bytes inner = StreamBuilder().Implicit(0x0040, 0x0001, "CT01").bytes();
  for (int level = 0; level < 200; ++level)
    inner = StreamBuilder().Tag(0xFFFE, 0xE000).U32(std::uint32_t(inner.size())).Raw(inner).bytes();
  DcmObj obj;
  EXPECT_FALSE(Decode(inner, obj));
  EXPECT_NE(log.Text().find("nested deeper than"), std::string::npos);
}

TEST(BufDataMalformed, ReadTagOnEmptyStreamFails) {
  LogCapture log;
  BufData buf;
  DcmTag tag;
  EXPECT_FALSE(buf.ReadTag(tag, false, false));
  DcmObj obj;
  EXPECT_TRUE(buf.ReadOjb(obj)) << "an empty stream is an empty dataset";
  EXPECT_EQ(obj.Count(), 0u);
}

}  // namespace tarvelin
