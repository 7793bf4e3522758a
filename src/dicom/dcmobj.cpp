#include "dicom/dcmobj.h"

#include "dicom/vrlayout.h"

namespace tarvelin {

namespace {

// True when an entry with tag `t` lies after the tag (group, element). Item
// and delimitation entries at this level are the fragments of encapsulated
// pixel data, which belong to the pixel data before them: never a place to
// insert at.
bool SortsAfter(const DcmTag& t, std::uint16_t group, std::uint16_t element) {
  if (t.Group == 0xFFFE) return false;
  return (t.Group == group && t.Element > element) || t.Group > group;
}

std::uint32_t ReadLE32(const std::vector<std::uint8_t>& d) {
  return std::uint32_t(d[0]) | std::uint32_t(d[1]) << 8 | std::uint32_t(d[2]) << 16 |
         std::uint32_t(d[3]) << 24;
}

void WriteLE32(std::vector<std::uint8_t>& d, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) d[i] = std::uint8_t(v >> (8 * i));
}

std::uint32_t EncodedLengthOf(const DcmObj& obj, bool explicitVR) {
  std::uint32_t total = 0;
  for (const DcmEntry& entry : obj.Entries) {
    const DcmTag& tag = entry.HeaderTag();
    total += HeaderSize(tag, explicitVR);
    if (entry.IsObj()) {
      total += EncodedLengthOf(*entry.Obj, explicitVR);
      if (tag.Length == UndefinedLength) total += HeaderSize(DelimiterOf(tag), explicitVR);
    } else if (tag.Length != UndefinedLength)
      total += tag.Length;
  }
  return total;
}

}  // namespace

DcmEntry::DcmEntry(DcmTag tag) : Tag(std::make_unique<DcmTag>(std::move(tag))) {}
DcmEntry::DcmEntry(std::unique_ptr<DcmObj> obj) : Obj(std::move(obj)) {}
DcmEntry::DcmEntry(DcmEntry&&) noexcept = default;
DcmEntry& DcmEntry::operator=(DcmEntry&&) noexcept = default;
DcmEntry::~DcmEntry() = default;

const DcmTag& DcmEntry::HeaderTag() const { return Tag ? *Tag : Obj->Header; }

void DcmObj::Add(DcmTag tag) { Entries.emplace_back(std::move(tag)); }

void DcmObj::Add(std::uint16_t group, std::uint16_t element, const std::string& text) {
  Add(DcmTag(group, element, text));
}

void DcmObj::Add(std::unique_ptr<DcmObj> nested) { Entries.emplace_back(std::move(nested)); }

void DcmObj::Set(DcmTag tag) {
  DcmTag* groupLength = nullptr;
  const bool settingGroupLength = tag.Element == 0x0000;
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    DcmEntry& entry = Entries[i];
    const DcmTag& current = entry.HeaderTag();
    if (entry.IsTag() && current.Group == tag.Group && current.Element == 0x0000 &&
        current.Length == 4 && entry.Tag->Data.size() == 4 && !settingGroupLength)
      groupLength = entry.Tag.get();
    if (current.Is(tag.Group, tag.Element)) {
      const std::uint32_t oldLength = current.Length == UndefinedLength ? 0 : current.Length;
      const std::uint32_t newLength = tag.Length == UndefinedLength ? 0 : tag.Length;
      if (entry.IsTag()) {
        entry.Tag->Length = tag.Length;
        entry.Tag->Data = std::move(tag.Data);
      } else {
        entry = DcmEntry(std::move(tag));
      }
      if (groupLength) WriteLE32(groupLength->Data, ReadLE32(groupLength->Data) + newLength - oldLength);
      return;
    }
    if (SortsAfter(current, tag.Group, tag.Element)) {
      const std::uint32_t grow = 8 + (tag.Length == UndefinedLength ? 0 : tag.Length);
      Entries.insert(Entries.begin() + i, DcmEntry(std::move(tag)));
      if (groupLength) WriteLE32(groupLength->Data, ReadLE32(groupLength->Data) + grow);
      return;
    }
  }
  const std::uint32_t grow = 8 + (tag.Length == UndefinedLength ? 0 : tag.Length);
  Add(std::move(tag));
  if (groupLength) WriteLE32(groupLength->Data, ReadLE32(groupLength->Data) + grow);
}

void DcmObj::AddSequence(std::uint16_t group, std::uint16_t element,
                         std::unique_ptr<DcmObj> child) {
  child->ExplicitVR = ExplicitVR;
  child->Header.Group = group;
  child->Header.Element = element;
  child->Header.SetVR(group == 0xFFFE || element == 0xE000 ? nullptr : "SQ");
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    if (SortsAfter(Entries[i].HeaderTag(), group, element)) {
      Entries.insert(Entries.begin() + i, DcmEntry(std::move(child)));
      return;
    }
  }
  Add(std::move(child));
}

const DcmTag* DcmObj::Find(std::uint16_t group, std::uint16_t element) const {
  for (const DcmEntry& entry : Entries)
    if (entry.IsTag() && entry.Tag->Is(group, element)) return entry.Tag.get();
  return nullptr;
}

std::uint16_t DcmObj::GetUS(std::uint16_t group, std::uint16_t element) const {
  const DcmTag* tag = Find(group, element);
  return tag ? tag->GetUS() : 0;
}

std::string DcmObj::GetString(std::uint16_t group, std::uint16_t element) const {
  const DcmTag* tag = Find(group, element);
  return tag ? tag->GetString() : "";
}

std::uint32_t DcmObj::EncodedLength() const { return EncodedLengthOf(*this, ExplicitVR); }

}  // namespace tarvelin
