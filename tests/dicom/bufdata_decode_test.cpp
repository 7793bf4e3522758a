#include <gtest/gtest.h>

#include "dicom/bufdata.h"
#include "dicom_test_support.h"

namespace tarvelin {

TEST(BufDataDecode, ImplicitTakesVRFromDictionary) {
  DcmObj obj;
  ASSERT_TRUE(Decode(StreamBuilder().Implicit(0x0010, 0x0010, "DOE^JOHN").bytes(), obj));
  ASSERT_EQ(obj.Count(), 1u);
  const DcmTag& name = *obj.Entry(0).Tag;
  EXPECT_EQ(name.VRText(), "PN");
  EXPECT_EQ(name.Length, 8u);
  EXPECT_EQ(name.GetString(), "DOE^JOHN");
}

TEST(BufDataDecode, ExplicitHeaderForms) {
  StreamBuilder s;
  s.ExplicitShort(0x0010, 0x0020, "LO", "PID1");
  s.ExplicitLong(0x0040, 0x0400, "UT", 4).Text("note");
  s.ExplicitLong(0x0040, 0x0401, "UC", 2).Text("uc");  // 32-bit length VRs of later editions
  // A command set on an explicit-VR context: group 0000 never carries a VR.
  s.Tag(0x0000, 0x0100).U32(2).U16(0x0020);
  // Bytes that are not letters where the VR belongs: an implicit element.
  s.Tag(0x0010, 0x0030).U32(8).Text("19700101");
  DcmObj obj;
  obj.ExplicitVR = 1;
  ASSERT_TRUE(Decode(s.bytes(), obj));
  ASSERT_EQ(obj.Count(), 5u);
  EXPECT_EQ(obj.GetString(0x0010, 0x0020), "PID1");
  EXPECT_EQ(obj.Entry(1).Tag->VRText(), "UT");
  EXPECT_EQ(obj.GetString(0x0040, 0x0400), "note");
  EXPECT_EQ(obj.GetString(0x0040, 0x0401), "uc");
  EXPECT_EQ(obj.GetUS(0x0000, 0x0100), 0x0020);
  EXPECT_EQ(obj.Entry(4).Tag->VRText(), "DA");
  EXPECT_EQ(obj.GetString(0x0010, 0x0030), "19700101");
}

TEST(BufDataDecode, BigEndianStreamsSwapHeadersNotValues) {
  StreamBuilder s(true);
  s.ExplicitShort(0x0028, 0x0010, "US", std::string("\x01\x02", 2));
  s.ExplicitShort(0x0010, 0x0010, "PN", "DOE^J ");
  DcmObj obj;
  obj.ExplicitVR = 1;
  ASSERT_TRUE(Decode(s.bytes(), obj, true));
  ASSERT_EQ(obj.Count(), 2u);
  EXPECT_EQ(obj.Entry(0).Tag->Data, (Bytes{1, 2}));
  EXPECT_EQ(obj.GetUS(0x0028, 0x0010), 0x0102) << "the element remembers its byte order";
  EXPECT_EQ(obj.GetString(0x0010, 0x0010), "DOE^J");
}

TEST(BufDataDecode, DefinedLengthSequenceBecomesNestedDatasets) {
  const Bytes item1 = StreamBuilder().Implicit(0x0040, 0x0001, "CT01").bytes();
  const Bytes item2 = StreamBuilder().Implicit(0x0040, 0x0001, "MR02").bytes();
  StreamBuilder seq;
  seq.Tag(0xFFFE, 0xE000).U32(std::uint32_t(item1.size())).Raw(item1);
  seq.Tag(0xFFFE, 0xE000).U32(std::uint32_t(item2.size())).Raw(item2);
  StreamBuilder s;
  s.Implicit(0x0008, 0x0050, "ACC1");
  s.Tag(0x0040, 0x0100).U32(std::uint32_t(seq.bytes().size())).Raw(seq.bytes());
  DcmObj obj;
  ASSERT_TRUE(Decode(s.bytes(), obj));
  ASSERT_EQ(obj.Count(), 2u);
  ASSERT_TRUE(obj.Entry(1).IsObj());
  const DcmObj& sq = *obj.Entry(1).Obj;
  EXPECT_TRUE(sq.Header.Is(0x0040, 0x0100));
  EXPECT_EQ(sq.Header.VRText(), "SQ");
  EXPECT_EQ(sq.Header.Length, seq.bytes().size());
  ASSERT_EQ(sq.Count(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    ASSERT_TRUE(sq.Entry(i).IsObj());
    EXPECT_TRUE(sq.Entry(i).Obj->Header.Is(0xFFFE, 0xE000));
    EXPECT_EQ(sq.Entry(i).Obj->Header.VRText(), "");
  }
  EXPECT_EQ(sq.Entry(1).Obj->GetString(0x0040, 0x0001), "MR02");
  EXPECT_EQ(Encode(obj), s.bytes()) << "re-encoding gives the same bytes";
}

// Undefined length is kept as the encoding of a nested sequence or item; the
// delimitation items are consumed and written back.
TEST(BufDataDecode, UndefinedLengthSequencesDecodeNested) {
  const Bytes definedItem = StreamBuilder().Implicit(0x0040, 0x0001, "CT02").bytes();
  StreamBuilder s;
  s.Tag(0x0040, 0x0100).U32(UndefinedLength);
  s.Tag(0xFFFE, 0xE000).U32(UndefinedLength);
  s.Implicit(0x0040, 0x0001, "CT01");
  s.Tag(0x0040, 0x0008).U32(UndefinedLength).Tag(0xFFFE, 0xE0DD).U32(0);  // empty
  s.Tag(0xFFFE, 0xE00D).U32(0);
  s.Tag(0xFFFE, 0xE000).U32(std::uint32_t(definedItem.size())).Raw(definedItem);
  s.Tag(0xFFFE, 0xE0DD).U32(0);
  s.Implicit(0x0040, 0x1001, "RP01");
  DcmObj obj;
  ASSERT_TRUE(Decode(s.bytes(), obj));
  ASSERT_EQ(obj.Count(), 2u);
  ASSERT_TRUE(obj.Entry(0).IsObj());
  const DcmObj& sq = *obj.Entry(0).Obj;
  EXPECT_EQ(sq.Header.VRText(), "SQ");
  EXPECT_EQ(sq.Header.Length, UndefinedLength);
  ASSERT_EQ(sq.Count(), 2u);
  const DcmObj& first = *sq.Entry(0).Obj;
  EXPECT_EQ(first.Header.Length, UndefinedLength);
  ASSERT_EQ(first.Count(), 2u);
  EXPECT_EQ(first.GetString(0x0040, 0x0001), "CT01");
  EXPECT_EQ(first.Entry(1).Obj->Header.Length, UndefinedLength);
  EXPECT_EQ(first.Entry(1).Obj->Count(), 0u);
  EXPECT_EQ(sq.Entry(1).Obj->Header.Length, definedItem.size());
  EXPECT_EQ(sq.Entry(1).Obj->GetString(0x0040, 0x0001), "CT02");
  EXPECT_EQ(obj.GetString(0x0040, 0x0001), "");
  EXPECT_EQ(obj.GetString(0x0040, 0x1001), "RP01");
  EXPECT_EQ(Encode(obj), s.bytes());
  EXPECT_EQ(obj.EncodedLength(), s.bytes().size());
}

// A sequence left open by a truncated stream ends with the stream; nesting
// is bounded.
TEST(BufDataDecode, UnclosedAndDeepUndefinedLengthSequences) {
  StreamBuilder open;
  open.Tag(0x0040, 0x0100).U32(UndefinedLength).Tag(0xFFFE, 0xE000).U32(UndefinedLength);
  open.Implicit(0x0040, 0x0001, "CT01");
  DcmObj obj;
  ASSERT_TRUE(Decode(open.bytes(), obj));
  ASSERT_EQ(obj.Count(), 1u);
  EXPECT_EQ(obj.Entry(0).Obj->Entry(0).Obj->GetString(0x0040, 0x0001), "CT01");

  StreamBuilder deep;
  for (int i = 0; i < 100; ++i) deep.Tag(0x0040, 0x0100).U32(UndefinedLength).Tag(0xFFFE, 0xE000).U32(UndefinedLength);
  DcmObj tooDeep;
  EXPECT_FALSE(Decode(deep.bytes(), tooDeep));
}

TEST(BufDataDecode, TrailingZeroPaddingAndMetaGroup) {
  StreamBuilder s;
  s.Implicit(0x0002, 0x0010, "1.2.840.10008.1.2 ");
  s.Implicit(0x0010, 0x0010, "DOE^J ");
  s.U32(0).U32(0);
  DcmObj obj;
  ASSERT_TRUE(Decode(s.bytes(), obj));
  ASSERT_EQ(obj.Count(), 1u) << "meta group and padding are dropped";
  EXPECT_TRUE(obj.Entry(0).Tag->Is(0x0010, 0x0010));
}

TEST(BufDataDecode, PixelDataStopsExpansion) {
  const Bytes item = StreamBuilder().Implicit(0x0040, 0x0001, "CT01").bytes();
  StreamBuilder s;
  s.Implicit(0x7FE0, 0x0010, "PIXELS");
  s.Tag(0x0040, 0x0100).U32(std::uint32_t(item.size() + 8));
  s.Tag(0xFFFE, 0xE000).U32(std::uint32_t(item.size())).Raw(item);
  DcmObj obj;
  ASSERT_TRUE(Decode(s.bytes(), obj));
  ASSERT_EQ(obj.Count(), 2u);
  EXPECT_TRUE(obj.Entry(1).IsTag());
  EXPECT_EQ(obj.Entry(1).Tag->Length, item.size() + 8);
}

TEST(BufDataDecode, EmptyNestedItemIsWrittenWithLengthZero) {
  DcmObj obj;
  auto seq = std::make_unique<DcmObj>();
  seq->AddSequence(0xFFFE, 0xE000, std::make_unique<DcmObj>());
  obj.AddSequence(0x0040, 0x0100, std::move(seq));
  StreamBuilder expected;
  expected.Tag(0x0040, 0x0100).U32(8).Tag(0xFFFE, 0xE000).U32(0);
  EXPECT_EQ(Encode(obj), expected.bytes());
  obj.ExplicitVR = 1;
  StreamBuilder explicitForm;
  explicitForm.ExplicitLong(0x0040, 0x0100, "SQ", 8).Tag(0xFFFE, 0xE000).U32(0);
  EXPECT_EQ(Encode(obj), explicitForm.bytes());
}

}  // namespace tarvelin
