#include "dimse/command_set.h"

#include <utility>

DcmTag CommandUID(std::uint16_t element, const std::string& uid) {
  return DcmTag(0x0000, element, uid, "UI");
}

DcmTag CommandUS(std::uint16_t element, std::uint16_t value) {
  return DcmTag::U16(0x0000, element, value, "US");
}

DcmObj MakeCommandSet(std::vector<DcmTag> elements) {
  std::uint32_t groupLength = 0;
  for (const DcmTag& tag : elements) groupLength += 8 + tag.Length;
  DcmObj command;
  command.Add(DcmTag::U32(0x0000, Cmd::GroupLength, groupLength, "UL"));
  for (DcmTag& tag : elements) command.Add(std::move(tag));
  return command;
}
