#include "dicom/dcmtag.h"

#include <gtest/gtest.h>

namespace tarvelin {

TEST(DcmTag, TextValuesArePaddedToEvenLengthByVR) {
  DcmTag uid(0x0000, 0x0002, "1.2.840.10008.5.1.4.1.2.2.1", "UI");
  EXPECT_EQ(uid.Length, 28u);
  ASSERT_EQ(uid.Data.size(), 28u);
  EXPECT_EQ(uid.Data.back(), 0x00);

  DcmTag level(0x0008, 0x0052, "STUDY", "CS");
  EXPECT_EQ(level.Length, 6u);
  EXPECT_EQ(level.Data.back(), ' ');

  DcmTag charset(0x0008, 0x0005, "ISO_IR 100", "CS");
  EXPECT_EQ(charset.Length, 10u);
  EXPECT_EQ(std::string(charset.Data.begin(), charset.Data.end()), "ISO_IR 100");

  DcmTag empty(0x0010, 0x0010, "");
  EXPECT_EQ(empty.Length, 0u);
  EXPECT_TRUE(empty.Data.empty());
}

TEST(DcmTag, BytesAndNumberForms) {
  const std::uint8_t three[] = {1, 2, 3};
  DcmTag odd(0x0009, 0x1001, 3, three, "OB");
  EXPECT_EQ(odd.Length, 4u);
  EXPECT_EQ(odd.Data, (std::vector<std::uint8_t>{1, 2, 3, ' '}));

  DcmTag sequence(0x0040, 0x0100, UndefinedLength, nullptr);
  EXPECT_EQ(sequence.Length, UndefinedLength);
  EXPECT_TRUE(sequence.Data.empty());

  DcmTag us = DcmTag::U16(0x0000, 0x0100, 0x8020);
  EXPECT_EQ(us.Data, (std::vector<std::uint8_t>{0x20, 0x80}));
  EXPECT_EQ(us.VRText(), "US");
  DcmTag ul = DcmTag::U32(0x0000, 0x0000, 0x01020304);
  EXPECT_EQ(ul.Data, (std::vector<std::uint8_t>{4, 3, 2, 1}));
  EXPECT_EQ(ul.VRText(), "UL");
}

TEST(DcmTag, MissingVRComesFromTheDictionary) {
  EXPECT_EQ(DcmTag(0x0010, 0x0010, "DOE^JOHN").VRText(), "PN");
  EXPECT_EQ(DcmTag(0x0009, 0x0010, "PRIVATE").VRText(), "UN");
  EXPECT_EQ(DcmTag(0x0009, 0x1010, UndefinedLength, nullptr).VRText(), "SQ");
  EXPECT_EQ(DcmTag(0x0040, 0x0100, UndefinedLength, nullptr).VRText(), "SQ");
  EXPECT_EQ(DcmTag(0x0010, 0x0010, "X", "LO").VRText(), "LO");
}

TEST(DcmTag, GetUSReadsOnlyTwoByteValuesInTheirByteOrder) {
  DcmTag field = DcmTag::U16(0x0000, 0x0100, 0x0030);
  EXPECT_EQ(field.GetUS(), 0x0030);
  field.BigEndian = 1;
  EXPECT_EQ(field.GetUS(), 0x3000);
  EXPECT_EQ(DcmTag::U32(0x0000, 0x0100, 0x0030, "US").GetUS(), 0);
  EXPECT_EQ(DcmTag().GetUS(), 0);
}

TEST(DcmTag, GetStringStopsAtZeroAndTrimsControlAndBlank) {
  const std::uint8_t value[] = {' ', ' ', 'A', 'B', 'C', ' ', 0, 0};
  EXPECT_EQ(DcmTag(0x0010, 0x0020, sizeof value, value, "LO").GetString(), "ABC");
  const std::uint8_t inner[] = {'A', 0, 'B', 'C'};
  EXPECT_EQ(DcmTag(0x0010, 0x0020, sizeof inner, inner, "LO").GetString(), "A");
  EXPECT_EQ(DcmTag(0x0010, 0x0020, "\t\r\nX Y\x01").GetString(), "X Y");
  EXPECT_EQ(DcmTag(0x0040, 0x0100, UndefinedLength, nullptr).GetString(), "");
}

}  // namespace tarvelin
