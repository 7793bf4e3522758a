#include "net/control_pdu.h"

#include <string>

#include "service/log.h"

namespace tarvelin {

namespace {

// The body of these PDUs is always 4 bytes; any other length is refused, so
// no stray bytes are left in the stream.
bool ReadLength(Buffer& link, std::uint8_t& reserved, std::uint32_t& length, const char* where) {
  if (!link.Read8(reserved) || !link.Read32(length)) return false;
  if (length == 4) return true;
  WriteLog(std::string("ERROR, ") + where + ", PDU length " + std::to_string(length) + " refused");
  return false;
}

}  // namespace

bool AAssociateRJ::Write(Buffer& link) {
  const std::string bytes = Encoded();
  link.Write(bytes.data(), bytes.size());
  return link.Flush();
}

std::string AAssociateRJ::Encoded() const {
  return {static_cast<char>(ItemType), static_cast<char>(Reserved1), 0, 0, 0, 4,
          static_cast<char>(Reserved2), static_cast<char>(Result), static_cast<char>(Source),
          static_cast<char>(Reason)};
}

bool AAssociateRJ::Read(Buffer& link) {
  return ReadLength(link, Reserved1, Length, "AAssociateRJ::Read") && link.Read8(Reserved2) &&
         link.Read8(Result) && link.Read8(Source) && link.Read8(Reason);
}

bool AAssociateRJ::ReadDynamic(Buffer& link) { return link.Read8(ItemType) && Read(link); }

bool ReleasePDU::Write(Buffer& link) {
  link.Write8(ItemType);
  link.Write8(Reserved1);
  link.Write32(4);
  link.Write32(Reserved2);
  return link.Flush();
}

bool ReleasePDU::Read(Buffer& link) {
  return ReadLength(link, Reserved1, Length, "ReleasePDU::Read") && link.Read32(Reserved2);
}

bool ReleasePDU::ReadDynamic(Buffer& link) { return link.Read8(ItemType) && Read(link); }

void AAbortRQ::Set(AbortSource source, AbortReason reason) {
  Source = static_cast<std::uint8_t>(source);
  Reason = static_cast<std::uint8_t>(source == AbortSource::ServiceUser ? AbortReason::NotSpecified : reason);
}

bool AAbortRQ::Write(Buffer& link) {
  link.Write8(ItemType);
  link.Write8(Reserved1);
  link.Write32(4);
  link.Write8(Reserved2);
  link.Write8(Reserved3);
  link.Write8(Source);
  link.Write8(Reason);
  return link.Flush();
}

bool AAbortRQ::Read(Buffer& link) {
  return ReadLength(link, Reserved1, Length, "AAbortRQ::Read") && link.Read8(Reserved2) &&
         link.Read8(Reserved3) && link.Read8(Source) && link.Read8(Reason);
}

bool AAbortRQ::ReadDynamic(Buffer& link) { return link.Read8(ItemType) && Read(link); }

}  // namespace tarvelin
