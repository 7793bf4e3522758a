#include "net/presentation_context.h"

#include <initializer_list>

#include "net/identifier.h"
#include "net/pdu_reading.h"
#include "service/log.h"

namespace tarvelin {

namespace {

std::string Num(unsigned value) { return std::to_string(value); }

// Reserved byte and 16-bit length of an item, then its body into `item`.
// False (the PDU must be refused) when the item is longer than the PDU.
bool TakeItem(Buffer& in, std::uint8_t& reserved, std::uint16_t& length, Buffer& item,
              const char* where) {
  if (!ItemFits(in, 3, where)) return false;
  in.Read8(reserved);
  in.Read16(length);
  if (!ItemFits(in, length, where)) return false;
  item.SetIncomingEndian(Buffer::BigEndianOrder);
  return item.MoveIn(in, length);
}

// A UID sub-item inside an item body: type byte, then the UID item.
bool ReadSubItem(Buffer& item, UIDitem& uid, const char* where) {
  return ItemFits(item, 4, where) && uid.ReadDynamic(item);
}

// The 8 bytes before the sub-items of both context items, sent at once.
bool WriteItemHeader(Buffer& link, std::uint8_t type, std::uint8_t reserved1,
                     std::uint16_t length, std::initializer_list<std::uint8_t> fourBytes) {
  link.Write8(type);
  link.Write8(reserved1);
  link.Write16(length);
  for (std::uint8_t byte : fourBytes) link.Write8(byte);
  return link.Flush();
}

void LogRequestItem(const PresentationContext& pc, const char* header) {
  if (!DebugLogOn()) return;
  DebugFields(header, {{"ItemType", Num(pc.ItemType)},
                       {"Reserved1", Num(pc.Reserved1)},
                       {"Length", Num(pc.Length)},
                       {"PresentationContextID", Num(pc.PresentationContextID)},
                       {"Reserved2", Num(pc.Reserved2)},
                       {"Reserved3", Num(pc.Reserved3)},
                       {"Reserved4", Num(pc.Reserved4)},
                       {"AbsSyntax", pc.AbsSyntax.UID}});
  for (const UIDitem& ts : pc.TrnSyntax) WriteLog("TrnSyntax: " + ts.UID);
}

void LogAcceptItem(const PresentationContextAccept& pc, const char* header) {
  DebugFields(header, {{"ItemType", Num(pc.ItemType)},
                       {"Reserved1", Num(pc.Reserved1)},
                       {"Length", Num(pc.Length)},
                       {"PresentationContextID", Num(pc.PresentationContextID)},
                       {"Reserved2", Num(pc.Reserved2)},
                       {"Result", Num(pc.Result)},
                       {"Reserved4", Num(pc.Reserved4)},
                       {"AbsSyntax", pc.AbsSyntax.UID},
                       {"TrnSyntax", pc.TrnSyntax.UID}});
}

}  // namespace

PresentationContext::PresentationContext()
    : PresentationContextID(static_cast<std::uint8_t>(NextOddIdentifier())) {}

bool PresentationContext::SetAbstractSyntax(const std::string& uid) { return AbsSyntax.Set(uid); }

bool PresentationContext::AddTransferSyntax(const std::string& uid) {
  UIDitem item(0x40, "");
  if (!item.Set(uid)) return false;
  TrnSyntax.push_back(item);
  return true;
}

std::uint32_t PresentationContext::Size() {
  std::uint32_t length = 4 + AbsSyntax.Size();
  for (UIDitem& ts : TrnSyntax) length += ts.Size();
  Length = static_cast<std::uint16_t>(length);
  return Length + 4u;
}

bool PresentationContext::Write(Buffer& link) {
  Size();
  if (!WriteItemHeader(link, ItemType, Reserved1, Length,
                       {PresentationContextID, Reserved2, Reserved3, Reserved4}))
    return false;
  AbsSyntax.Write(link);
  if (!link.Flush()) return false;
  if (TrnSyntax.empty()) {
    WriteLog("ERROR, PresentationContext::Write");
    return false;
  }
  for (UIDitem& ts : TrnSyntax) {
    ts.Write(link);
    if (!link.Flush()) return false;
  }
  LogRequestItem(*this, "INFO, PresentationContext::Write");
  return true;
}

bool PresentationContext::Read(Buffer& in, bool& refused) {
  Buffer item;
  refused = !TakeItem(in, Reserved1, Length, item, "PresentationContext::Read");
  if (refused) return false;
  TrnSyntax.clear();
  bool ok = ItemFits(item, 4, "PresentationContext::Read");
  if (ok) {
    item.Read8(PresentationContextID);
    item.Read8(Reserved2);
    item.Read8(Reserved3);
    item.Read8(Reserved4);
    ok = ReadSubItem(item, AbsSyntax, "PresentationContext::Read");
  }
  while (ok && item.IncomingCount() > 0) {
    UIDitem ts;
    ok = ReadSubItem(item, ts, "PresentationContext::Read");
    if (ok) TrnSyntax.push_back(ts);
  }
  LogRequestItem(*this, "INFO, PresentationContext::Read");
  if (!ok) {
    // The sub-items did not add up to the item's length: this context is
    // lost, the rest of the request is still read.
    WriteLog("WARNING, PresentationContext::Read Count=" + std::to_string(item.IncomingCount()));
    return false;
  }
  return true;
}

bool PresentationContext::ReadDynamic(Buffer& in, bool& refused) {
  refused = !in.Read8(ItemType);
  return !refused && Read(in, refused);
}

bool PresentationContextAccept::SetAbstractSyntax(const std::string& uid) {
  return AbsSyntax.Set(uid);
}

bool PresentationContextAccept::SetTransferSyntax(const std::string& uid) {
  return TrnSyntax.Set(uid);
}

std::uint32_t PresentationContextAccept::Size() {
  Length = static_cast<std::uint16_t>(4 + TrnSyntax.Size());
  return Length + 4u;
}

bool PresentationContextAccept::Write(Buffer& link) {
  Size();
  if (!WriteItemHeader(link, ItemType, Reserved1, Length,
                       {PresentationContextID, Reserved2, Result, Reserved4}))
    return false;
  TrnSyntax.Write(link);
  if (!link.Flush()) return false;
  LogAcceptItem(*this, "INFO, PresentationContextAccept::Write");
  return true;
}

bool PresentationContextAccept::Read(Buffer& in) {
  Buffer item;
  if (!TakeItem(in, Reserved1, Length, item, "PresentationContextAccept::Read")) return false;
  if (!ItemFits(item, 4, "PresentationContextAccept::Read")) return false;
  item.Read8(PresentationContextID);
  item.Read8(Reserved2);
  item.Read8(Result);
  item.Read8(Reserved4);
  // A context that is not accepted may come without its transfer syntax.
  bool ok = item.IncomingCount() == 0 || ReadSubItem(item, TrnSyntax, "PresentationContextAccept::Read");
  LogAcceptItem(*this, "INFO, PresentationContextAccept::Read");
  return ok;
}

bool PresentationContextAccept::ReadDynamic(Buffer& in) { return in.Read8(ItemType) && Read(in); }

}  // namespace tarvelin
