#include "net/uid_item.h"

#include <cstring>

#include "net/pdu_limits.h"
#include "service/log.h"

namespace tarvelin {

UIDitem::UIDitem(std::uint8_t type, const std::string& uid) : ItemType(type) { Set(uid); }

bool UIDitem::Set(const std::string& uid) {
  if (uid.size() > MaxUIDLength) return false;
  UID = uid;
  Length = static_cast<std::uint16_t>(uid.size());
  return true;
}

bool UIDitem::Write(Buffer& link) {
  Size();
  link.Write8(ItemType);
  link.Write8(Reserved1);
  link.Write16(Length);
  return link.Write(UID.data(), UID.size());
}

bool UIDitem::Read(Buffer& in) {
  if (!in.Read8(Reserved1) || !in.Read16(Length)) return false;
  if (Length > MaxUIDLength || Length > in.IncomingCount()) {
    WriteLog("ERROR, UIDitem::Read, UID length " + std::to_string(Length) +
             " does not fit, item type " + std::to_string(ItemType));
    return false;
  }
  char text[MaxUIDLength + 1] = {};
  if (!in.Read(text, Length)) return false;
  UID = text;  // a peer's zero padding ends the UID
  return true;
}

bool UIDitem::ReadDynamic(Buffer& in) { return in.Read8(ItemType) && Read(in); }

std::uint32_t UIDitem::Size() {
  Length = static_cast<std::uint16_t>(UID.size());
  return Length + 4u;
}

}  // namespace tarvelin
