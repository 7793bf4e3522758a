#include "dicom/dcmobj.h"

#include <gtest/gtest.h>

namespace tarvelin {

namespace {

// A sequence holding one item with `elements`; undefined lengths when asked.
std::unique_ptr<DcmObj> Sequence(std::vector<DcmTag> elements, bool undefinedLength) {
  auto item = std::make_unique<DcmObj>();
  for (DcmTag& t : elements) item->Add(std::move(t));
  if (undefinedLength) item->Header.Length = UndefinedLength;
  auto seq = std::make_unique<DcmObj>();
  seq->AddSequence(0xFFFE, 0xE000, std::move(item));
  if (undefinedLength) seq->Header.Length = UndefinedLength;
  return seq;
}

std::uint32_t GroupLength(const DcmObj& obj, std::uint16_t group) {
  const DcmTag* tag = obj.Find(group, 0x0000);
  const auto& d = tag->Data;
  return d[0] | d[1] << 8 | d[2] << 16 | std::uint32_t(d[3]) << 24;
}

std::vector<std::uint32_t> Tags(const DcmObj& obj) {
  std::vector<std::uint32_t> tags;
  for (const DcmEntry& entry : obj.Entries)
    tags.push_back(std::uint32_t(entry.HeaderTag().Group) << 16 | entry.HeaderTag().Element);
  return tags;
}

}  // namespace

TEST(DcmObj, ConstructionDefaults) {
  DcmObj obj;
  EXPECT_EQ(obj.Count(), 0u);
  EXPECT_EQ(obj.TransferSyntax, "1.2.840.10008.1.2");
  EXPECT_EQ(obj.ExplicitVR, 0);
  EXPECT_EQ(obj.BigEndian, 0);
  EXPECT_EQ(obj.Header.Length, 0u);
}

TEST(DcmObj, LookupsFindFirstTopLevelElementOnly) {
  DcmObj obj;
  obj.Add(DcmTag::U32(0x0000, 0x0100, 0x20, "US"));
  EXPECT_EQ(obj.GetUS(0x0000, 0x0100), 0) << "a 4-byte command field reads as 0";

  auto outer = Sequence({DcmTag(0x0008, 0x0050, "INSIDE")}, true);
  outer->Entries[0].Obj->AddSequence(0x0040, 0x0275, Sequence({DcmTag(0x0008, 0x0050, "DEEPER")}, true));
  obj.AddSequence(0x0040, 0x0100, std::move(outer));
  EXPECT_EQ(obj.GetString(0x0008, 0x0050), "");
  EXPECT_EQ(obj.Find(0x0040, 0x0100), nullptr) << "a sequence is never found";
  obj.Add(0x0008, 0x0050, "ACC1");
  obj.Add(0x0008, 0x0050, "ACC2");
  EXPECT_EQ(obj.GetString(0x0008, 0x0050), "ACC1");

  obj.AddSequence(0x0040, 0x0275, Sequence({DcmTag(0x0010, 0x0020, "NESTED")}, false));
  EXPECT_EQ(obj.GetString(0x0010, 0x0020), "") << "nested datasets are not searched";
  EXPECT_EQ(obj.GetUS(0x1234, 0x5678), 0);
}

TEST(DcmObj, SetInsertsInOrderAndKeepsGroupLength) {
  DcmObj obj;
  obj.Add(DcmTag::U32(0x0008, 0x0000, 20));
  obj.Add(0x0008, 0x0020, "20240305");
  obj.Add(0x0008, 0x0050, "ACC1");
  obj.Add(0x0010, 0x0010, "DOE^J");

  obj.Set(DcmTag(0x0008, 0x0005, "ISO_IR 100"));
  EXPECT_EQ(Tags(obj), (std::vector<std::uint32_t>{0x00080000, 0x00080005, 0x00080020, 0x00080050,
                                                   0x00100010}));
  EXPECT_EQ(GroupLength(obj, 0x0008), 38u);

  obj.Set(DcmTag(0x0008, 0x0005, "ISO_IR 192  ", "CS"));
  EXPECT_EQ(obj.Count(), 5u);
  EXPECT_EQ(obj.GetString(0x0008, 0x0005), "ISO_IR 192");
  EXPECT_EQ(obj.Entry(1).Tag->Length, 12u);
  EXPECT_EQ(GroupLength(obj, 0x0008), 40u);

  obj.Set(DcmTag(0x0020, 0x000D, "1.2.3"));
  obj.Set(DcmTag(0x0002, 0x0010, "1.2"));
  EXPECT_EQ(Tags(obj).front(), 0x00020010u);
  EXPECT_EQ(Tags(obj).back(), 0x0020000Du);
  EXPECT_EQ(GroupLength(obj, 0x0008), 40u) << "other groups leave the length alone";
}

// Whatever the length encoding of the sequences around, Set and AddSequence
// place at the top level in tag order; the fragments of encapsulated pixel
// data stay with it.
TEST(DcmObj, OrderedOperationsIgnoreSequenceContentsAndPixelFragments) {
  for (bool undefinedLength : {false, true}) {
    SCOPED_TRACE(undefinedLength ? "undefined lengths" : "defined lengths");
    DcmObj obj;
    auto outer = Sequence({DcmTag(0x0040, 0x0001, "INSIDE")}, undefinedLength);
    outer->Entries[0].Obj->AddSequence(0x0040, 0x0008, Sequence({}, undefinedLength));
    obj.AddSequence(0x0040, 0x0100, std::move(outer));
    obj.Set(DcmTag(0x0040, 0x0001, "TOP"));
    obj.AddSequence(0x0040, 0x0275, Sequence({}, false));
    obj.Set(DcmTag(0x0008, 0x0005, "ISO_IR 100"));
    obj.Add(DcmTag(0x7FE0, 0x0010, UndefinedLength, nullptr, "OB"));
    obj.Add(DcmTag(0xFFFE, 0xE000, 2, "\x01\x02"));
    obj.Add(DcmTag(0xFFFE, 0xE0DD, 0, nullptr));
    obj.Set(DcmTag(0xFFFA, 0xFFFA, "X"));
    EXPECT_EQ(Tags(obj), (std::vector<std::uint32_t>{0x00080005, 0x00400001, 0x00400100, 0x00400275,
                                                     0x7FE00010, 0xFFFEE000, 0xFFFEE0DD, 0xFFFAFFFA}));
    EXPECT_EQ(obj.GetString(0x0040, 0x0001), "TOP");
    const DcmObj& item = *obj.Entry(2).Obj->Entry(0).Obj;
    EXPECT_EQ(Tags(item), (std::vector<std::uint32_t>{0x00400001, 0x00400008}));
    EXPECT_EQ(item.GetString(0x0040, 0x0001), "INSIDE");
  }
}

TEST(DcmObj, AddSequencePlacesNestedDatasetInTagOrder) {
  DcmObj obj;
  obj.ExplicitVR = 1;
  obj.Add(0x0020, 0x000D, "1.2.3");
  obj.Add(0x0040, 0x1001, "RP1");
  auto child = std::make_unique<DcmObj>();
  child->Add(0x0040, 0x0001, "CT01");
  child->Header.Length = 1234;
  obj.AddSequence(0x0040, 0x0100, std::move(child));
  ASSERT_EQ(obj.Count(), 3u);
  ASSERT_TRUE(obj.Entry(1).IsObj());
  const DcmObj& seq = *obj.Entry(1).Obj;
  EXPECT_TRUE(seq.Header.Is(0x0040, 0x0100));
  EXPECT_EQ(seq.Header.VRText(), "SQ");
  EXPECT_EQ(seq.Header.Length, 1234u) << "the caller's length stays";
  EXPECT_EQ(seq.ExplicitVR, 1);

  auto item = std::make_unique<DcmObj>();
  obj.AddSequence(0xFFFE, 0xE000, std::move(item));
  EXPECT_EQ(obj.Entry(3).Obj->Header.VRText(), "") << "items carry no VR";
}

TEST(DcmObj, EncodedLengthCountsHeadersByForm) {
  DcmObj obj;
  obj.Add(DcmTag::U16(0x0000, 0x0100, 1));         // 8 + 2 in both forms
  obj.Add(0x0010, 0x0010, "DOE^JOHN");             // 8 + 8
  obj.Add(DcmTag(0x0040, 0x0400, "note", "UT"));   // 8/12 + 4
  obj.Add(DcmTag(0x0040, 0x0275, 0, nullptr));     // 8/12 + 0: an empty sequence
  obj.AddSequence(0x0040, 0x0100, Sequence({DcmTag(0x0040, 0x0009, "SPS1")}, false));  // 8/12 + 8 + 12
  obj.AddSequence(0x0040, 0xA730, Sequence({DcmTag(0x0040, 0x0009, "SPS1")}, true));   // and 8 + 8 delimiters
  EXPECT_EQ(obj.EncodedLength(), 10u + 16 + 12 + 8 + 28 + 44);
  obj.ExplicitVR = 1;
  EXPECT_EQ(obj.EncodedLength(), 10u + 16 + 16 + 12 + 32 + 48);
  obj.Clear();
  EXPECT_EQ(obj.Count(), 0u);
  EXPECT_EQ(obj.ExplicitVR, 1);
}

}  // namespace tarvelin
