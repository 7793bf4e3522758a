#include "dicom/dump.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dicom/datadictionary.h"
#include "dicom/uid.h"
#include "dicom/vrlayout.h"

namespace tarvelin {

namespace {

std::string ValueText(const DcmTag& tag) {
  const std::size_t size = std::min<std::size_t>(tag.Length, tag.Data.size());
  char text[64];
  if (tag.IsVR("FL") && tag.Length == 4 && size == 4) {
    const std::uint32_t bits = std::uint32_t(tag.Data[0]) | std::uint32_t(tag.Data[1]) << 8 |
                               std::uint32_t(tag.Data[2]) << 16 | std::uint32_t(tag.Data[3]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    std::snprintf(text, sizeof text, "%5.2f", value);
    return text;
  }
  if (tag.IsVR("SL") || tag.IsVR("SS") || tag.IsVR("UL") || tag.IsVR("US")) {
    if (tag.Length > 4) return "Vector!!";
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value |= std::uint32_t(tag.Data[i]) << (8 * i);
    std::snprintf(text, sizeof text, "%d", static_cast<std::int32_t>(value));
    return text;
  }
  std::size_t end = 0;
  while (end < size && tag.Data[end] != 0) ++end;
  return std::string(tag.Data.begin(), tag.Data.begin() + end);
}

}  // namespace

std::string DumpLine(const DcmTag& tag, int depth) {
  std::string line;
  for (int i = 1; i < depth; ++i) line += "...";
  char head[64];
  std::snprintf(head, sizeof head, "(%04X,%04X), %2d, %s, ", tag.Group, tag.Element,
                static_cast<std::int32_t>(tag.Length), tag.VRText().c_str());
  line += head;
  line += LookupName(tag) + ": ";
  if (tag.IsVR("SQ") || tag.Length >= 255 || !tag.HasValue()) return line;
  const std::string value = ValueText(tag);
  line += value;
  if (tag.IsVR("UI")) {
    const std::string name = GetUIDName(value);
    if (!name.empty()) line += " (" + name + ") ";
  }
  return line;
}

void Dump(DcmObj& obj, std::vector<std::string>& lines, int depth) {
  for (DcmEntry& entry : obj.Entries) {
    if (entry.IsTag()) {
      if (entry.Tag->Group == 0x0000) LookupVR(*entry.Tag);
      lines.push_back(DumpLine(*entry.Tag, depth));
    } else {
      lines.push_back(DumpLine(entry.Obj->Header, depth));
      Dump(*entry.Obj, lines, depth + 1);
      // An undefined length shows how it was closed on the wire.
      if (entry.Obj->Header.Length == UndefinedLength)
        lines.push_back(DumpLine(DelimiterOf(entry.Obj->Header), depth + 1));
    }
  }
}

}  // namespace tarvelin
