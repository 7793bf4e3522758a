#include "net/pdatatf.h"

#include <algorithm>
#include <string>

#include "net/pdu_limits.h"
#include "service/log.h"

namespace tarvelin {

namespace {

constexpr std::uint8_t CommandBit = 0x01;
constexpr std::uint8_t LastFragmentBit = 0x02;
constexpr std::uint32_t PDVHeaderSize = 6;  // item length (4), context ID, control header

bool Refuse(PDataTF& pdata, const std::string& why) {
  WriteLog("ERROR, PDataTF::ReadDynamic, " + why);
  pdata.Length = 0;
  pdata.VRBuffer.ClearQueues();
  return false;
}

}  // namespace

bool PDataTF::ReadDynamic(Buffer& link) {
  if (Length == 0) {
    std::uint8_t reserved = 0;
    if (!link.Read8(reserved) || !link.Read32(Length)) return false;
    if (Length > MaxIncomingPDULength)
      return Refuse(*this, "PDU length " + std::to_string(Length) + " over the limit");
  }
  MsgStatus = 0;
  while (Length > 0) {
    if (Length < PDVHeaderSize)
      return Refuse(*this, "PDV header does not fit its PDU, Length=" + std::to_string(Length));
    if (!link.Read32(PDVLength) || !link.Read8(PresentationContextID) || !link.Read8(MsgHeader))
      return false;
    if (PDVLength < 2 || PDVLength > Length - 4)
      return Refuse(*this, "PDV length " + std::to_string(PDVLength) +
                               " does not fit its PDU, Length=" + std::to_string(Length));
    std::uint32_t fragment = PDVLength - 2;
    if (fragment > MaxMessagePartLength - VRBuffer.IncomingCount())
      return Refuse(*this, "message part over " + std::to_string(MaxMessagePartLength) + " bytes");
    if (PartLimit != 0 && !Oversized && fragment > PartLimit - std::min<std::size_t>(PartLimit, VRBuffer.IncomingCount())) {
      Oversized = true;
      VRBuffer.ClearQueues();
    }
    if (Oversized ? !link.Skip(fragment) : !VRBuffer.MoveIn(link, fragment)) {
      WriteLog("ERROR, PDataTF::ReadDynamic, VRBuffer.MoveIn");
      return false;
    }
    Length -= PDVLength + 4;
    if (MsgHeader & LastFragmentBit) {
      // Further PDVs of this PDU stay for the next call.
      MsgStatus = 1;
      StoredPresentationContextID = PresentationContextID;
      return true;
    }
  }
  StoredPresentationContextID = PresentationContextID;
  return true;
}

bool PDataTF::Write(Buffer& link) {
  Queue(link);
  return Send(link);
}

bool PDataTF::Send(Buffer& link) {
  if (link.Flush()) return true;
  WriteLog("ERROR, PDataTF::Write, failed Link.Flush");
  return false;
}

void PDataTF::Queue(Buffer& link) {
  const std::uint32_t incomingLength = Length;
  const std::size_t total = VRBuffer.OutgoingCount();
  if (BlockSize == 0) BlockSize = 4096;
  if (BlockSize > 16378)
    WriteLog("WARNING, PDataTF::Write, BlockSize is too big: " + std::to_string(BlockSize));
  std::size_t sent = 0;
  while (sent < total) {
    if (total - sent < BlockSize) BlockSize = static_cast<std::uint32_t>(total - sent);
    std::uint8_t header = MsgHeaderToWrite & CommandBit;
    if (sent + BlockSize == total) header |= LastFragmentBit;
    PDVLength = BlockSize + 2;
    Length = BlockSize + 6;
    PresentationContextID = StoredPresentationContextID;
    MsgHeader = header;
    link.Write8(ItemType);
    link.Write8(Reserved1);
    link.Write32(Length);
    link.Write32(PDVLength);
    link.Write8(PresentationContextID);
    link.Write8(MsgHeader);
    VRBuffer.MoveOut(link, BlockSize);
    sent += BlockSize;
  }
  Length = incomingLength;
}

}  // namespace tarvelin
