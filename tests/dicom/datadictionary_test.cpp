#include "dicom/datadictionary.h"

#include <gtest/gtest.h>

#include <set>

namespace tarvelin {

namespace {
std::string VROf(std::uint16_t g, std::uint16_t e) {
  DcmTag tag;
  tag.Group = g;
  tag.Element = e;
  LookupVR(tag);
  return tag.VRText();
}
std::string NameOf(std::uint16_t g, std::uint16_t e) {
  DcmTag tag;
  tag.Group = g;
  tag.Element = e;
  return LookupName(tag);
}
}  // namespace

TEST(DataDictionary, TableIsSortedAndTerminated) {
  ASSERT_GT(DataDictionarySize, 2000u);
  for (std::size_t i = 1; i < DataDictionarySize; ++i) {
    const DictEntry& a = DataDictionary[i - 1];
    const DictEntry& b = DataDictionary[i];
    ASSERT_TRUE(a.Group < b.Group || (a.Group == b.Group && a.Element < b.Element)) << i;
  }
  EXPECT_EQ(DataDictionary[DataDictionarySize].Group, 0);
  EXPECT_EQ(DataDictionary[DataDictionarySize].Name, nullptr);
}

TEST(DataDictionary, EntriesTheSystemReliesOn) {
  const struct { std::uint16_t g, e; const char* vr; } expected[] = {
      {0x0008, 0x0005, "CS"}, {0x0008, 0x0050, "SH"}, {0x0010, 0x0010, "PN"},
      {0x0020, 0x000D, "UI"}, {0x0040, 0x0100, "SQ"}, {0x0040, 0x0001, "AE"},
      {0x0040, 0x0002, "DA"}, {0x0040, 0x0003, "TM"}, {0x0040, 0x0020, "CS"},
      {0x0040, 0x0270, "SQ"}, {0x7FE0, 0x0010, "OW"}, {0x0000, 0x0100, "US"},
      {0x0000, 0x1031, "US"}, {0xFFFA, 0xFFFA, "SQ"}, {0xFFFC, 0xFFFC, "OB"},
      {0x0040, 0x0252, "CS"}, {0x0008, 0x1110, "SQ"}};
  for (const auto& x : expected) EXPECT_EQ(VROf(x.g, x.e), x.vr) << std::hex << x.g << "," << x.e;
  EXPECT_EQ(NameOf(0x0010, 0x0010), "Patient's Name");
  EXPECT_EQ(NameOf(0x0000, 0x0000), "Group Length");
  EXPECT_EQ(NameOf(0x0040, 0x0000), "Group Length");
  EXPECT_EQ(NameOf(0x1234, 0x0001), "*** Unidentified ***");
  EXPECT_EQ(VROf(0x1234, 0x0001), "UN");
}

TEST(DataDictionary, StructuralRules) {
  // Item elements.
  EXPECT_EQ(VROf(0xFFFE, 0xE000), "DL");
  EXPECT_EQ(NameOf(0xFFFE, 0xE000), "Item");
  EXPECT_EQ(VROf(0xFFFE, 0xE00D), "DL");
  EXPECT_EQ(NameOf(0xFFFE, 0xE0DD), "Sequence Delimitation Item");
  // Second of two allowed VRs.
  EXPECT_EQ(VROf(0x0028, 0x0106), "SS");
  EXPECT_EQ(VROf(0x6000, 0x3000), "OW");
  // Repeating groups only at their base.
  EXPECT_EQ(VROf(0x6000, 0x0010), "US");
  EXPECT_EQ(VROf(0x6002, 0x0010), "UN");
  EXPECT_EQ(VROf(0x5000, 0x0005), "US");
  EXPECT_EQ(VROf(0x5010, 0x0005), "UN");
  // Every group 0000..7FE0 has its group length, and no private group is present.
  std::set<std::uint16_t> groups, withLength;
  for (std::size_t i = 0; i < DataDictionarySize; ++i) {
    const DictEntry& entry = DataDictionary[i];
    EXPECT_EQ(entry.Group % 2, 0) << std::hex << entry.Group;
    groups.insert(entry.Group);
    if (entry.Element == 0) {
      withLength.insert(entry.Group);
      EXPECT_STREQ(entry.VR, "UL");
    }
  }
  for (std::uint16_t group : groups)
    EXPECT_EQ(withLength.count(group), group <= 0x7FE0 ? 1u : 0u) << std::hex << group;
}

}  // namespace tarvelin
