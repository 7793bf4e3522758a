#include "net/associate_pdu.h"

#include <cstring>

#include "net/pdu_limits.h"
#include "net/pdu_reading.h"
#include "service/log.h"

namespace tarvelin {

namespace {

constexpr std::uint32_t FixedPartLength = 68;  // version to Reserved3

void SetTitle(char (&field)[17], const std::string& title) {
  std::memset(field, 0, sizeof field);
  std::memcpy(field, title.data(), std::min<std::size_t>(title.size(), 16));
}

std::string Num(unsigned value) { return std::to_string(value); }

}  // namespace

bool AssociatePDU::SetCalledApTitle(const std::string& title) {
  SetTitle(CalledApTitle, title);
  return true;
}

bool AssociatePDU::SetCallingApTitle(const std::string& title) {
  SetTitle(CallingApTitle, title);
  return true;
}

std::string AssociatePDU::GetCalledApTitle() const { return CalledApTitle; }

std::string AssociatePDU::GetCallingApTitle() const { return CallingApTitle; }

bool AssociatePDU::SetApplicationContext(const std::string& uid) { return AppContext.Set(uid); }

bool AssociatePDU::ReadFixed(Buffer& link, Buffer& body, const char* where) {
  if (!link.Read8(Reserved1) || !link.Read32(Length)) return false;
  if (Length < FixedPartLength || Length > MaxAssociationPDULength) {
    WriteLog(std::string("ERROR, ") + where + ", PDU length " + std::to_string(Length) +
             " refused");
    return false;
  }
  body.SetIncomingEndian(Buffer::BigEndianOrder);
  if (!body.MoveIn(link, Length)) return false;
  body.Read16(ProtocolVersion);
  body.Read16(Reserved2);
  body.Read(CalledApTitle, 16);
  CalledApTitle[16] = 0;
  body.Read(CallingApTitle, 16);
  CallingApTitle[16] = 0;
  body.Read(Reserved3, sizeof Reserved3);
  return true;
}

void AssociatePDU::WriteFixed(Buffer& link) {
  link.Write8(ItemType);
  link.Write8(Reserved1);
  link.Write32(Length);
  link.Write16(ProtocolVersion);
  link.Write16(Reserved2);
  link.Write(CalledApTitle, 16);
  link.Write(CallingApTitle, 16);
  link.Write(Reserved3, sizeof Reserved3);
}

void AssociatePDU::LogFixed(const char* header) const {
  if (!DebugLogOn()) return;
  char reserved[sizeof Reserved3 + 1] = {};
  std::memcpy(reserved, Reserved3, sizeof Reserved3);
  DebugFields(header, {{"ItemType", Num(ItemType)},
                       {"Reserved1", Num(Reserved1)},
                       {"Length", Num(Length)},
                       {"ProtocolVersion", Num(ProtocolVersion)},
                       {"Reserved2", Num(Reserved2)},
                       {"CalledApTitle", CalledApTitle},
                       {"CallingApTitle", CallingApTitle},
                       {"Reserved3", reserved}});
}

std::uint32_t AssociatePDU::SizeWith(std::uint32_t contextsSize) {
  Length = FixedPartLength + AppContext.Size() + UserInfo.Size() + contextsSize;
  return Length + 6;
}

bool AssociatePDU::ReadSharedItem(std::uint8_t type, Buffer& body, bool& refused) {
  refused = false;
  if (type == 0x10) {
    AppContext.ItemType = type;
    refused = !ItemFits(body, 3, "AssociatePDU::Read") || !AppContext.Read(body);
    return true;
  }
  if (type != 0x50) return false;
  // A user information item that does not add up still lets the PDU be read.
  UserInfo.ItemType = type;
  UserInfo.Read(body, refused);
  return true;
}

bool AAssociateRQ::AddPresentationContext(const PresentationContext& context) {
  PresContexts.push_back(context);
  return true;
}

std::uint32_t AAssociateRQ::Size() {
  std::uint32_t contexts = 0;
  for (PresentationContext& pc : PresContexts) contexts += pc.Size();
  return SizeWith(contexts);
}

bool AAssociateRQ::Write(Buffer& link) {
  for (const PresentationContext& pc : PresContexts) {
    // Checked first, so no half-written request goes out.
    if (pc.TrnSyntax.empty()) {
      WriteLog("ERROR, PresentationContext::Write");
      return false;
    }
  }
  Size();
  WriteFixed(link);
  LogFixed("INFO, AAssociateRQ::Write");
  if (!link.Flush()) {
    WriteLog("ERROR, AAssociateRQ::Write Link.Flush()");
    return false;
  }
  AppContext.Write(link);
  if (!link.Flush()) {
    WriteLog("ERROR, AAssociateRQ::Write AppContext.Write()");
    return false;
  }
  for (PresentationContext& pc : PresContexts)
    if (!pc.Write(link)) return false;
  return UserInfo.Write(link);
}

bool AAssociateRQ::Read(Buffer& link) {
  PresContexts.clear();
  UserInfo = UserInformation();
  Buffer body;
  if (!ReadFixed(link, body, "AAssociateRQ::Read")) return false;
  LogFixed("INFO, AAssociateRQ::Read");
  while (body.IncomingCount() > 0) {
    std::uint8_t type = body.Read8();
    bool refused = false;
    if (type == 0x20) {
      PresentationContext pc;
      pc.ItemType = type;
      // A context whose sub-items do not add up is still answered.
      pc.Read(body, refused);
      if (!refused) PresContexts.push_back(pc);
    } else if (!ReadSharedItem(type, body, refused)) {
      WriteLog("WARNING, AAssociateRQ::Read Unknown Packet");
      WriteLog("WARNING, AAssociateRQ::Read Count=" + std::to_string(body.IncomingCount()));
      return false;
    }
    if (refused) return false;
  }
  return true;
}

bool AAssociateRQ::ReadDynamic(Buffer& link) { return link.Read8(ItemType) && Read(link); }

bool AAssociateAC::AddPresentationContextAccept(const PresentationContextAccept& accept) {
  PresContextAccepts.push_back(accept);
  return true;
}

std::uint32_t AAssociateAC::Size() {
  std::uint32_t contexts = 0;
  for (PresentationContextAccept& pc : PresContextAccepts) contexts += pc.Size();
  return SizeWith(contexts);
}

bool AAssociateAC::Write(Buffer& link) {
  Size();
  WriteFixed(link);
  LogFixed("INFO, AAssociateAC::Write");
  if (!link.Flush()) return false;
  AppContext.Write(link);
  if (!link.Flush()) return false;
  for (PresentationContextAccept& pc : PresContextAccepts)
    if (!pc.Write(link)) return false;
  return UserInfo.Write(link);
}

bool AAssociateAC::Read(Buffer& link) {
  PresContextAccepts.clear();
  UserInfo = UserInformation();
  Buffer body;
  if (!ReadFixed(link, body, "AAssociateAC::Read")) return false;
  while (body.IncomingCount() > 0) {
    std::uint8_t type = body.Read8();
    bool refused = false;
    if (type == 0x21) {
      PresentationContextAccept pc;
      pc.ItemType = type;
      refused = !pc.Read(body);
      if (!refused) PresContextAccepts.push_back(pc);
    } else if (!ReadSharedItem(type, body, refused)) {
      return false;  // the rest of the PDU was taken with the body
    }
    if (refused) return false;
  }
  return true;
}

bool AAssociateAC::ReadDynamic(Buffer& link) { return link.Read8(ItemType) && Read(link); }

}  // namespace tarvelin
