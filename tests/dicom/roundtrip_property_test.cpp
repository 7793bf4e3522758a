// Randomly built datasets, with sequences and items of defined and undefined
// length and elements of every VR, must survive encoding and decoding in each
// transfer syntax: the decoded dataset equals the original and re-encodes to
// the same bytes.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "dicom/bufdata.h"
#include "dicom/datadictionary.h"
#include "dicom_test_support.h"

namespace tarvelin {

namespace {

struct Encoding {
  const char* TransferSyntax;
  bool Explicit;
  bool Big;
};

const Encoding kEncodings[] = {
    {"1.2.840.10008.1.2", false, false},
    {"1.2.840.10008.1.2.1", true, false},
    {"1.2.840.10008.1.2.2", true, true},
};

class DatasetGenerator {
 public:
  DatasetGenerator(unsigned seed, bool big) : rng_(seed), big_(big) {
    for (std::size_t i = 0; i < DataDictionarySize; ++i) {
      const DictEntry& e = DataDictionary[i];
      if (e.Group == 0x0000 || e.Group == 0x0002 || e.Group == 0xFFFE) continue;
      if (e.Group == 0x7FE0 && e.Element == 0x0010) continue;
      (std::string(e.VR) == "SQ" ? sequences_ : byVR_[e.VR]).push_back(&e);
    }
  }

  std::unique_ptr<DcmObj> Dataset(int depth) {
    auto obj = std::make_unique<DcmObj>();
    const int count = Pick(1, 6);
    for (int i = 0; i < count; ++i) {
      const int kind = depth < 3 ? Pick(0, 9) : 0;
      if (kind == 8)
        obj->Add(NestedSequence(depth));
      else if (kind == 9)
        obj->Add(UndefinedLengthSequence(depth));
      else
        obj->Add(Element());
    }
    if (depth == 0 && Pick(0, 4) == 0) obj->Add(Tag(0x7FE0, 0x0010, "OW", Pick(0, 8) * 2));
    return obj;
  }

 private:
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

  DcmTag Tag(std::uint16_t g, std::uint16_t e, const char* vr, std::uint32_t length) {
    std::vector<std::uint8_t> value(length);
    for (auto& b : value) b = std::uint8_t(Pick(0, 255));
    DcmTag tag(g, e, length, value.data(), vr);
    tag.BigEndian = big_;
    return tag;
  }

  DcmTag Element() {
    if (Pick(0, 20) == 0) return Tag(0x0009, 0x1010, "UN", Pick(0, 10) * 2);  // private
    auto vr = byVR_.begin();
    std::advance(vr, Pick(0, int(byVR_.size()) - 1));
    const DictEntry* entry = vr->second[Pick(0, int(vr->second.size()) - 1)];
    return Tag(entry->Group, entry->Element, entry->VR, Pick(0, 12) * 2);
  }

  const DictEntry* SequenceTag() { return sequences_[Pick(0, int(sequences_.size()) - 1)]; }

  // A defined-length sequence of one to three defined-length items.
  std::unique_ptr<DcmObj> NestedSequence(int depth) {
    const DictEntry* entry = SequenceTag();
    auto seq = std::make_unique<DcmObj>();
    const int items = Pick(1, 3);
    for (int i = 0; i < items; ++i) seq->AddSequence(0xFFFE, 0xE000, Dataset(depth + 1));
    seq->Header.Group = entry->Group;
    seq->Header.Element = entry->Element;
    seq->Header.SetVR("SQ");
    return seq;
  }

  // An undefined-length sequence of zero to three items, each of undefined
  // length (closed by an item delimiter) or of defined length.
  std::unique_ptr<DcmObj> UndefinedLengthSequence(int depth) {
    const DictEntry* entry = SequenceTag();
    auto seq = std::make_unique<DcmObj>();
    const int items = Pick(0, 3);
    for (int i = 0; i < items; ++i) {
      auto item = Dataset(depth + 1);
      if (Pick(0, 1) == 0) item->Header.Length = UndefinedLength;
      seq->AddSequence(0xFFFE, 0xE000, std::move(item));
    }
    seq->Header.Group = entry->Group;
    seq->Header.Element = entry->Element;
    seq->Header.SetVR("SQ");
    seq->Header.Length = UndefinedLength;
    return seq;
  }

  std::mt19937 rng_;
  bool big_;
  std::map<std::string, std::vector<const DictEntry*>> byVR_;
  std::vector<const DictEntry*> sequences_;
};

// Items and delimiters never carry a VR on the wire, so theirs is not compared.
void ExpectSameTag(const DcmTag& a, const DcmTag& b, const std::string& where) {
  EXPECT_EQ(a.Group, b.Group) << where;
  EXPECT_EQ(a.Element, b.Element) << where;
  if (a.Group != 0xFFFE) {
    EXPECT_EQ(a.VRText(), b.VRText()) << where;
  }
  EXPECT_EQ(a.Length, b.Length) << where;
}

void ExpectSameDataset(const DcmObj& a, const DcmObj& b, const std::string& where) {
  ASSERT_EQ(a.Count(), b.Count()) << where;
  for (std::size_t i = 0; i < a.Count(); ++i) {
    const std::string at = where + "/" + std::to_string(i);
    const DcmEntry& x = a.Entry(i);
    const DcmEntry& y = b.Entry(i);
    ASSERT_EQ(x.IsObj(), y.IsObj()) << at;
    ExpectSameTag(x.HeaderTag(), y.HeaderTag(), at);
    if (x.IsObj()) {
      EXPECT_EQ(x.Obj->ExplicitVR, y.Obj->ExplicitVR) << at;
      EXPECT_EQ(x.Obj->BigEndian, y.Obj->BigEndian) << at;
      ExpectSameDataset(*x.Obj, *y.Obj, at);
    } else {
      EXPECT_EQ(x.Tag->Data, y.Tag->Data) << at;
      EXPECT_EQ(x.Tag->BigEndian, y.Tag->BigEndian) << at;
    }
  }
}

}  // namespace

TEST(RoundTripProperty, RandomDatasetsSurviveEveryEncoding) {
  for (const Encoding& encoding : kEncodings) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
      SCOPED_TRACE(std::string(encoding.TransferSyntax) + " seed " + std::to_string(seed));
      DatasetGenerator generator(seed, encoding.Big);
      auto original = generator.Dataset(0);
      original->TransferSyntax = encoding.TransferSyntax;
      original->ExplicitVR = encoding.Explicit;
      original->BigEndian = encoding.Big;
      const Bytes bytes = Encode(*original);
      ASSERT_EQ(bytes.size(), original->EncodedLength());

      DcmObj decoded;
      decoded.TransferSyntax = encoding.TransferSyntax;
      decoded.ExplicitVR = encoding.Explicit;
      ASSERT_TRUE(Decode(bytes, decoded, encoding.Big));
      ExpectSameDataset(*original, decoded, "");
      ASSERT_EQ(Encode(decoded), bytes);
      if (HasFatalFailure()) return;
    }
  }
}

}  // namespace tarvelin
