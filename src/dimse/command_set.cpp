#include "dimse/command_set.h"

#include <utility>

namespace tarvelin {

DcmTag CommandUID(std::uint16_t element, const std::string& uid) {
  return DcmTag(0x0000, element, uid, "UI");
}

DcmTag CommandUS(std::uint16_t element, std::uint16_t value) {
  return DcmTag::U16(0x0000, element, value, "US");
}

DcmTag CommandLO(std::uint16_t element, const std::string& text) {
  return DcmTag(0x0000, element, text.substr(0, 64), "LO");
}

DcmTag CommandAT(std::uint16_t element, std::uint16_t group, std::uint16_t tagElement) {
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(group & 0xFF), static_cast<std::uint8_t>(group >> 8),
                                 static_cast<std::uint8_t>(tagElement & 0xFF),
                                 static_cast<std::uint8_t>(tagElement >> 8)};
  return DcmTag(0x0000, element, 4, bytes, "AT");
}

DcmObj MakeCommandSet(std::vector<DcmTag> elements) {
  std::uint32_t groupLength = 0;
  for (const DcmTag& tag : elements) groupLength += 8 + tag.Length;
  DcmObj command;
  command.Add(DcmTag::U32(0x0000, Cmd::GroupLength, groupLength, "UL"));
  for (DcmTag& tag : elements) command.Add(std::move(tag));
  return command;
}

}  // namespace tarvelin
