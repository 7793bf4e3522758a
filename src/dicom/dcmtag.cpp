#include "dicom/dcmtag.h"

#include <cstring>

#include "dicom/datadictionary.h"

namespace tarvelin {

namespace {

// A null VR: the dictionary's, with "SQ" for an unknown tag of undefined length.
void ResolveVR(DcmTag& tag, const char* vr) {
  if (vr) {
    tag.SetVR(vr);
    return;
  }
  LookupVR(tag);
  if (tag.IsVR("UN") && tag.Length == UndefinedLength) tag.SetVR("SQ");
}

void StoreValue(DcmTag& tag, std::uint32_t length, const void* bytes) {
  tag.Length = length;
  if (length == 0 || length == UndefinedLength) return;
  const auto* first = static_cast<const std::uint8_t*>(bytes);
  tag.Data.assign(first, first + length);
  if (length % 2 == 1) {
    tag.Data.push_back(tag.IsVR("UI") ? 0x00 : 0x20);
    tag.Length = length + 1;
  }
}

}  // namespace

DcmTag::DcmTag(std::uint16_t group, std::uint16_t element, std::uint32_t length,
               const void* bytes, const char* vr)
    : Group(group), Element(element), Length(length) {
  ResolveVR(*this, vr);
  StoreValue(*this, length, bytes);
}

DcmTag::DcmTag(std::uint16_t group, std::uint16_t element, const std::string& text,
               const char* vr)
    : Group(group), Element(element), Length(static_cast<std::uint32_t>(text.size())) {
  ResolveVR(*this, vr);
  StoreValue(*this, static_cast<std::uint32_t>(text.size()), text.data());
}

DcmTag DcmTag::U16(std::uint16_t group, std::uint16_t element, std::uint16_t value,
                   const char* vr) {
  const std::uint8_t bytes[2] = {std::uint8_t(value), std::uint8_t(value >> 8)};
  return DcmTag(group, element, 2, bytes, vr);
}

DcmTag DcmTag::U32(std::uint16_t group, std::uint16_t element, std::uint32_t value,
                   const char* vr) {
  const std::uint8_t bytes[4] = {std::uint8_t(value), std::uint8_t(value >> 8),
                                 std::uint8_t(value >> 16), std::uint8_t(value >> 24)};
  return DcmTag(group, element, 4, bytes, vr);
}

std::uint16_t DcmTag::GetUS() const {
  if (Length != 2 || Data.size() != 2) return 0;
  if (BigEndian) return std::uint16_t((Data[0] << 8) | Data[1]);
  return std::uint16_t(Data[0] | (Data[1] << 8));
}

std::string DcmTag::GetString() const {
  if (!HasValue()) return "";
  std::size_t end = 0;
  while (end < Data.size() && Data[end] != 0) ++end;
  std::size_t begin = 0;
  while (begin < end && Data[begin] <= 0x20) ++begin;
  while (end > begin && Data[end - 1] <= 0x20) --end;
  return std::string(Data.begin() + begin, Data.begin() + end);
}

bool DcmTag::IsVR(const char* vr) const {
  return VR[0] == vr[0] && VR[1] == vr[1] && VR[0] != 0;
}

std::string DcmTag::VRText() const {
  if (VR[0] == 0) return "";
  return std::string(VR, VR[1] ? 2 : 1);
}

void DcmTag::SetVR(const char* vr) {
  std::memset(VR, 0, sizeof VR);
  if (!vr || !vr[0]) return;
  VR[0] = vr[0];
  VR[1] = vr[1];
}

}  // namespace tarvelin
