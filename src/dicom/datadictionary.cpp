#include "dicom/datadictionary.h"

#include <algorithm>
#include <cstring>

namespace tarvelin {

const DictEntry* FindDictEntry(std::uint16_t group, std::uint16_t element) {
  const DictEntry* end = DataDictionary + DataDictionarySize;
  const auto key = (std::uint32_t(group) << 16) | element;
  const DictEntry* found =
      std::lower_bound(DataDictionary, end, key, [](const DictEntry& entry, std::uint32_t k) {
        return ((std::uint32_t(entry.Group) << 16) | entry.Element) < k;
      });
  if (found == end || found->Group != group || found->Element != element) return nullptr;
  return found;
}

void LookupVR(DcmTag& tag) {
  const DictEntry* entry = FindDictEntry(tag.Group, tag.Element);
  tag.SetVR(entry ? entry->VR : "UN");
}

std::string LookupName(const DcmTag& tag) {
  const DictEntry* entry = FindDictEntry(tag.Group, tag.Element);
  return entry ? entry->Name : "*** Unidentified ***";
}

}  // namespace tarvelin
