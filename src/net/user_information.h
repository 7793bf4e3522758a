#pragma once
// The user information item (0x50) and its sub-items. The maximum length,
// implementation class UID, role selections, implementation version name and
// user identity are written; the asynchronous operations window and user
// identity response are read only.
#include <cstdint>
#include <string>
#include <vector>

#include "net/buffer.h"
#include "net/uid_item.h"

namespace tarvelin {

class MaximumLengthItem {  // 0x51
 public:
  std::uint8_t ItemType = 0x51;
  std::uint8_t Reserved1 = 0;
  std::uint16_t Length = 4;
  std::uint32_t MaximumLength = 0;
};

class AsyncOpWindowItem {  // 0x53
 public:
  std::uint8_t ItemType = 0x53;
  std::uint8_t Reserved1 = 0;
  std::uint16_t Length = 0;
  std::uint16_t MaxOperationsInvoked = 0;
  std::uint16_t MaxOperationsPerformed = 0;
};

class RoleSelectionItem {  // 0x54
 public:
  std::uint8_t ItemType = 0x54;
  std::uint8_t Reserved1 = 0;
  std::uint16_t Length = 0;
  std::uint16_t UIDLength = 0;
  std::string UID;
  std::uint8_t SCURole = 0;
  std::uint8_t SCPRole = 0;
};

class ImplementationVersionItem {  // 0x55
 public:
  std::uint8_t ItemType = 0x55;
  std::uint8_t Reserved1 = 0;
  std::uint16_t Length = 0;
  std::string Name;  // at most 64 characters
};

class UserIdentity {  // 0x58
 public:
  std::uint8_t ItemType = 0x58;
  std::uint8_t Reserved1 = 0;
  std::uint16_t Length = 0;
  std::uint8_t UserIdentityType = 2;  // user name and passcode
  std::uint8_t PositiveResponseRequested = 1;
  std::uint16_t PrimaryFieldLength = 0;
  std::string PrimaryField;  // the user name
  std::uint16_t SecondaryFieldLength = 0;
  std::string SecondaryField;  // the passcode
};

class UserIdentityResponse {  // 0x59
 public:
  std::uint8_t ItemType = 0x59;
  std::uint8_t Reserved1 = 0;
  std::uint16_t Length = 0;
  std::uint16_t ServerResponseLength = 0;
  std::string ServerResponse;
};

class UserInformation {
 public:
  std::uint8_t ItemType = 0x50;
  std::uint8_t Reserved1 = 0;
  std::uint16_t Length = 0;  // computed from the sub-items when written
  MaximumLengthItem MaxSubLength;
  AsyncOpWindowItem AsyncOpWindow;
  // One per SOP class whose roles are negotiated, in the order read.
  std::vector<RoleSelectionItem> RoleSelections;
  UIDitem ImpClass{0x52, ""};
  ImplementationVersionItem ImpVersion;
  UserIdentity UserIdent;
  UserIdentityResponse UserIdentRes;

  bool SetMaximumLength(std::uint32_t maximum);
  bool SetImpClassUID(const std::string& uid);
  bool SetImpVersionName(const std::string& name);
  // User name and passcode; sent only when the user name is not empty.
  bool SetUserIdentity(const std::string& user, const std::string& passcode);
  // Adds a role selection sub-item for `uid` (the requestor's roles).
  void AddRoleSelection(const std::string& uid, bool scuRole, bool scpRole);
  // The role selection read for `uid`, or nullptr when none was proposed.
  const RoleSelectionItem* RoleSelectionFor(const std::string& uid) const;

  bool Write(Buffer& link);
  // Reads after the type byte from `in`, which holds the rest of the PDU.
  // `refused` is set when the item is longer than the PDU: the PDU read must
  // stop. Sub-item bytes that do not add up fail only this item.
  bool Read(Buffer& in, bool& refused);
  bool ReadDynamic(Buffer& in, bool& refused);
  // Computes Length from the sub-items that are written; whole size.
  std::uint32_t Size();
};

}  // namespace tarvelin
