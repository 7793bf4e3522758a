#include "net/user_information.h"

#include <algorithm>

#include "net/pdu_limits.h"
#include "net/pdu_reading.h"
#include "service/log.h"

namespace tarvelin {

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Longer names and UIDs than this system holds are cut.
std::string Cut(std::string text) {
  if (text.size() > MaxUIDLength) text.resize(MaxUIDLength);
  return text;
}

// The fields of one sub-item, read from exactly its `length` bytes in `sub`.
// False when the bytes do not hold the sub-item's fixed layout.
bool ReadFields(UserInformation& info, std::uint8_t type, std::uint16_t length, Buffer& sub,
                long left) {
  const std::string count = std::to_string(left);
  switch (type) {
    case 0x51:
      info.MaxSubLength.Length = length;
      if (!sub.Read32(info.MaxSubLength.MaximumLength)) return false;
      WriteDebugLog("INFO, MaxSubLength::ReadDynamic, Count=" + count +
                    ", MaxSubLength.MaximumLength=" +
                    std::to_string(info.MaxSubLength.MaximumLength));
      return true;
    case 0x52:
      info.ImpClass.Length = length;
      info.ImpClass.UID = Cut(ReadText(sub, length).c_str());
      WriteDebugLog("INFO, ImpClass::ReadDynamic, Count=" + count + ", " + Quoted(info.ImpClass.UID));
      return true;
    case 0x53:
      info.AsyncOpWindow.Length = length;
      if (!sub.Read16(info.AsyncOpWindow.MaxOperationsInvoked) ||
          !sub.Read16(info.AsyncOpWindow.MaxOperationsPerformed))
        return false;
      WriteDebugLog("INFO, AsyncOpWindow::ReadDynamic, Count=" + count);
      return true;
    case 0x54: {
      RoleSelectionItem role;
      role.Length = length;
      if (!sub.Read16(role.UIDLength) || sub.IncomingCount() < role.UIDLength + 2u) return false;
      role.UID = Cut(ReadText(sub, role.UIDLength).c_str());
      sub.Read8(role.SCURole);
      sub.Read8(role.SCPRole);
      info.RoleSelections.push_back(role);
      WriteDebugLog("INFO, SCPSCURole::ReadDynamic, Count=" + count);
      return true;
    }
    case 0x55:
      info.ImpVersion.Length = length;
      info.ImpVersion.Name = Cut(ReadText(sub, length));
      WriteDebugLog("INFO, ImpVersion::ReadDynamic, Count=" + count + ", " +
                    Quoted(info.ImpVersion.Name));
      return true;
    case 0x58: {
      UserIdentity& id = info.UserIdent;
      id.Length = length;
      if (!sub.Read8(id.UserIdentityType) || !sub.Read8(id.PositiveResponseRequested) ||
          !sub.Read16(id.PrimaryFieldLength) || sub.IncomingCount() < id.PrimaryFieldLength + 2u)
        return false;
      id.PrimaryField = ReadText(sub, id.PrimaryFieldLength);
      sub.Read16(id.SecondaryFieldLength);
      if (sub.IncomingCount() < id.SecondaryFieldLength) return false;
      id.SecondaryField = ReadText(sub, id.SecondaryFieldLength);
      WriteDebugLog("INFO, UserIdent::ReadDynamic, Count=" + count);
      return true;
    }
    default: {  // 0x59
      UserIdentityResponse& res = info.UserIdentRes;
      res.Length = length;
      if (!sub.Read16(res.ServerResponseLength) || sub.IncomingCount() < res.ServerResponseLength)
        return false;
      res.ServerResponse = ReadText(sub, res.ServerResponseLength);
      WriteDebugLog("INFO, UserIdentRes::ReadDynamic, Count=" + count + ", " + res.ServerResponse);
      return true;
    }
  }
}

bool IsKnownSubItem(std::uint8_t type) {
  return (type >= 0x51 && type <= 0x55) || type == 0x58 || type == 0x59;
}

}  // namespace

bool UserInformation::SetMaximumLength(std::uint32_t maximum) {
  MaxSubLength.Length = 4;
  MaxSubLength.MaximumLength = maximum;
  return true;
}

bool UserInformation::SetImpClassUID(const std::string& uid) { return ImpClass.Set(uid); }

bool UserInformation::SetImpVersionName(const std::string& name) {
  if (name.size() > MaxUIDLength) return false;
  ImpVersion.Name = name;
  ImpVersion.Length = static_cast<std::uint16_t>(name.size());
  return true;
}

bool UserInformation::SetUserIdentity(const std::string& user, const std::string& passcode) {
  if (user.size() > 0xFFF0 || passcode.size() > 0xFFF0 - user.size()) return false;
  UserIdent = UserIdentity();
  UserIdent.PrimaryField = user;
  UserIdent.SecondaryField = passcode;
  return true;
}

void UserInformation::AddRoleSelection(const std::string& uid, bool scuRole, bool scpRole) {
  RoleSelectionItem role;
  role.UID = uid;
  role.UIDLength = static_cast<std::uint16_t>(uid.size());
  role.Length = static_cast<std::uint16_t>(uid.size() + 4);
  role.SCURole = scuRole ? 1 : 0;
  role.SCPRole = scpRole ? 1 : 0;
  RoleSelections.push_back(role);
}

const RoleSelectionItem* UserInformation::RoleSelectionFor(const std::string& uid) const {
  for (const RoleSelectionItem& role : RoleSelections)
    if (role.UID == uid) return &role;
  return nullptr;
}

std::uint32_t UserInformation::Size() {
  MaxSubLength.Length = 4;
  WriteDebugLog("INFO, MaxSubLength::Size, Length=4, MaxSubLength.MaximumLength=" +
                std::to_string(MaxSubLength.MaximumLength));
  std::uint32_t length = 8 + ImpClass.Size();
  WriteDebugLog("INFO, ImpClass::Size, Length=" + std::to_string(ImpClass.Length) + ", " +
                Quoted(ImpClass.UID));
  for (const RoleSelectionItem& role : RoleSelections) length += 4u + role.Length;
  ImpVersion.Length = static_cast<std::uint16_t>(ImpVersion.Name.size());
  length += 4 + ImpVersion.Length;
  WriteDebugLog("INFO, ImpVersion::Size, Length=" + std::to_string(ImpVersion.Length) + ", " +
                Quoted(ImpVersion.Name));
  if (!UserIdent.PrimaryField.empty()) {
    UserIdent.PrimaryFieldLength = static_cast<std::uint16_t>(UserIdent.PrimaryField.size());
    UserIdent.SecondaryFieldLength = static_cast<std::uint16_t>(UserIdent.SecondaryField.size());
    UserIdent.Length =
        static_cast<std::uint16_t>(6 + UserIdent.PrimaryFieldLength + UserIdent.SecondaryFieldLength);
    length += 4 + UserIdent.Length;
    WriteDebugLog("INFO, UserIdent::Size, Length=" + std::to_string(UserIdent.Length));
  }
  Length = static_cast<std::uint16_t>(std::min<std::uint32_t>(length, 0xFFFF));
  WriteDebugLog("INFO, UserInformation::Size, Length=" + std::to_string(Length));
  return Length + 4u;
}

bool UserInformation::Write(Buffer& link) {
  Size();
  link.Write8(ItemType);
  link.Write8(Reserved1);
  link.Write16(Length);
  link.Write8(MaxSubLength.ItemType);
  link.Write8(MaxSubLength.Reserved1);
  link.Write16(MaxSubLength.Length);
  link.Write32(MaxSubLength.MaximumLength);
  if (!link.Flush()) return false;
  ImpClass.Write(link);
  if (!link.Flush()) return false;
  for (const RoleSelectionItem& role : RoleSelections) {
    link.Write8(role.ItemType);
    link.Write8(role.Reserved1);
    link.Write16(role.Length);
    link.Write16(role.UIDLength);
    link.Write(role.UID.data(), role.UID.size());
    link.Write8(role.SCURole);
    link.Write8(role.SCPRole);
  }
  link.Write8(ImpVersion.ItemType);
  link.Write8(ImpVersion.Reserved1);
  link.Write16(ImpVersion.Length);
  link.Write(ImpVersion.Name.data(), ImpVersion.Name.size());
  if (!link.Flush()) return false;
  if (UserIdent.PrimaryField.empty()) return true;
  link.Write8(UserIdent.ItemType);
  link.Write8(UserIdent.Reserved1);
  link.Write16(UserIdent.Length);
  link.Write8(UserIdent.UserIdentityType);
  link.Write8(UserIdent.PositiveResponseRequested);
  link.Write16(UserIdent.PrimaryFieldLength);
  link.Write(UserIdent.PrimaryField.data(), UserIdent.PrimaryField.size());
  link.Write16(UserIdent.SecondaryFieldLength);
  link.Write(UserIdent.SecondaryField.data(), UserIdent.SecondaryField.size());
  return link.Flush();
}

bool UserInformation::Read(Buffer& in, bool& refused) {
  refused = true;
  if (!ItemFits(in, 3, "UserInformation::Read")) return false;
  in.Read8(Reserved1);
  in.Read16(Length);
  if (!ItemFits(in, Length, "UserInformation::Read")) return false;
  refused = false;
  Buffer item;
  item.SetIncomingEndian(Buffer::BigEndianOrder);
  if (!item.MoveIn(in, Length)) return false;
  WriteDebugLog("INFO, UserInformation::ReadDynamic, Count=" + std::to_string(Length));
  long left = Length;
  while (left > 0) {
    std::uint8_t type = 0, reserved = 0;
    std::uint16_t length = 0;
    if (left < 4) break;
    item.Read8(type);
    item.Read8(reserved);
    item.Read16(length);
    left -= 4;
    if (!IsKnownSubItem(type)) {
      // Everything after an unknown sub-item is lost, the request still counts.
      WriteLog("WARNING, UserInformation::Read Unknown Packet");
      left = 0;
      break;
    }
    left -= length;
    if (left < 0) break;
    Buffer sub;
    sub.SetIncomingEndian(Buffer::BigEndianOrder);
    sub.MoveIn(item, length);
    if (!ReadFields(*this, type, length, sub, left)) {
      left = -1;
      break;
    }
  }
  if (left != 0) {
    WriteLog("WARNING, UserInformation::Read Count=" + std::to_string(left));
    return false;
  }
  return true;
}

bool UserInformation::ReadDynamic(Buffer& in, bool& refused) {
  refused = !in.Read8(ItemType);
  return !refused && Read(in, refused);
}

}  // namespace tarvelin
