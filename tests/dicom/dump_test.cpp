#include "dicom/dump.h"

#include <gtest/gtest.h>

#include "dicom_test_support.h"

namespace tarvelin {

TEST(Dump, EchoCommandSetDecodedInImplicitVR) {
  StreamBuilder s;
  s.Tag(0x0000, 0x0000).U32(4).U32(56);
  s.Tag(0x0000, 0x0002).U32(18).Text(std::string("1.2.840.10008.1.1\0", 18));
  s.Tag(0x0000, 0x0100).U32(2).U16(0x0030);
  s.Tag(0x0000, 0x0110).U32(2).U16(1);
  s.Tag(0x0000, 0x0800).U32(2).U16(0x0101);
  DcmObj obj;
  ASSERT_TRUE(Decode(s.bytes(), obj));
  std::vector<std::string> lines;
  Dump(obj, lines, 0);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "(0000,0000),  4, UL, Group Length: 56");
  EXPECT_EQ(lines[1],
            "(0000,0002), 18, UI, Affected SOP Class UID: 1.2.840.10008.1.1 (Verification) ");
  EXPECT_EQ(lines[2], "(0000,0100),  2, US, Command Field: 48");
  EXPECT_EQ(lines[4], "(0000,0800),  2, US, Command Data Set Type: 257");
}

TEST(Dump, ValueFormsByVR) {
  EXPECT_EQ(DumpLine(DcmTag(0x0010, 0x0010, "DOE^JOHN"), 0),
            "(0010,0010),  8, PN, Patient's Name: DOE^JOHN");
  EXPECT_EQ(DumpLine(DcmTag(0x0009, 0x0010, "ACME"), 0),
            "(0009,0010),  4, UN, *** Unidentified ***: ACME");
  EXPECT_EQ(DumpLine(DcmTag(0x0010, 0x4000, std::string(300, 'x')), 0),
            "(0010,4000), 300, LT, Patient Comments: ");
  const std::uint8_t two[] = {1, 0, 2, 0}, three[] = {1, 0, 2, 0, 3, 0};
  EXPECT_EQ(DumpLine(DcmTag(0x0028, 0x0010, 4, two, "US"), 0), "(0028,0010),  4, US, Rows: 131073");
  EXPECT_EQ(DumpLine(DcmTag(0x0028, 0x0010, 6, three, "US"), 0), "(0028,0010),  6, US, Rows: Vector!!");
  EXPECT_EQ(DumpLine(DcmTag::U16(0x0028, 0x0106, 0xFFFF, "SS"), 0),
            "(0028,0106),  2, SS, Smallest Image Pixel Value: 65535");
  EXPECT_EQ(DumpLine(DcmTag::U32(0x0000, 0x0000, 0xFFFFFFFF), 0), "(0000,0000),  4, UL, Group Length: -1");
  const float f = 2.5f;
  EXPECT_EQ(DumpLine(DcmTag(0x0018, 0x9306, 4, &f, "FL"), 0),
            "(0018,9306),  4, FL, Single Collimation Width:  2.50");
  EXPECT_EQ(DumpLine(DcmTag(0x0040, 0x0100, UndefinedLength, nullptr), 0),
            "(0040,0100), -1, SQ, Scheduled Procedure Step Sequence: ");
  EXPECT_EQ(DumpLine(DcmTag(0x0020, 0x000D, "1.2.3.4", "UI"), 0),
            std::string("(0020,000D),  8, UI, Study Instance UID: 1.2.3.4"));
}

TEST(Dump, NestedSequencesAreIndented) {
  auto item = std::make_unique<DcmObj>();
  item->Add(0x0040, 0x0001, "CT01");
  item->Add(0x0040, 0x0002, "20240305");
  auto seq = std::make_unique<DcmObj>();
  seq->AddSequence(0xFFFE, 0xE000, std::move(item));
  DcmObj obj;
  obj.Add(0x0010, 0x0010, "DOE^J");
  obj.AddSequence(0x0040, 0x0100, std::move(seq));
  obj.Entry(1).Obj->Header.Length = obj.Entry(1).Obj->EncodedLength();
  std::vector<std::string> lines;
  Dump(obj, lines, 0);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1], "(0040,0100), 36, SQ, Scheduled Procedure Step Sequence: ");
  EXPECT_EQ(lines[2], "(FFFE,E000),  0, , Item: ");
  EXPECT_EQ(lines[3], "...(0040,0001),  4, AE, Scheduled Station AE Title: CT01");
  EXPECT_EQ(lines[4], "...(0040,0002),  8, DA, Scheduled Procedure Step Start Date: 20240305");
}

TEST(Dump, UndefinedLengthShowsItsDelimiters) {
  auto item = std::make_unique<DcmObj>();
  item->Add(0x0040, 0x0001, "CT01");
  item->Header.Length = UndefinedLength;
  auto seq = std::make_unique<DcmObj>();
  seq->AddSequence(0xFFFE, 0xE000, std::move(item));
  seq->Header.Length = UndefinedLength;
  DcmObj obj;
  obj.AddSequence(0x0040, 0x0100, std::move(seq));
  std::vector<std::string> lines;
  Dump(obj, lines, 0);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "(0040,0100), -1, SQ, Scheduled Procedure Step Sequence: ",
                       "(FFFE,E000), -1, , Item: ",
                       "...(0040,0001),  4, AE, Scheduled Station AE Title: CT01",
                       "...(FFFE,E00D),  0, , Item Delimitation Item: ",
                       "(FFFE,E0DD),  0, , Sequence Delimitation Item: "}));
}

}  // namespace tarvelin
