#pragma once
// The P-DATA-TF PDU: cuts an outgoing message part into PDUs and assembles an
// incoming one from any number of PDVs spread over any number of PDUs.
#include <cstdint>

#include "net/buffer.h"

namespace tarvelin {

class PDataTF {
 public:
  std::uint8_t ItemType = 4;
  std::uint8_t Reserved1 = 0;
  // Reading: bytes of the current PDU not consumed yet (0: a new PDU must be
  // read). Writing: the PDU length of the PDU being sent.
  std::uint32_t Length = 0;
  // Largest fragment of message bytes per PDU when writing (0 means 4096).
  std::uint32_t BlockSize = 0;
  Buffer VRBuffer;  // bytes of the message part being read or written
  int MsgStatus = 0;  // 1 when the last fragment of a message part was read
  std::uint32_t PDVLength = 0;  // of the PDV being read or written
  std::uint8_t PresentationContextID = 0;  // of the PDV being read or written
  std::uint8_t MsgHeader = 0;  // message control header of that PDV
  // Context of the last PDV read; every PDV is written on it. 0 = none yet.
  std::uint8_t StoredPresentationContextID = 0;
  // Bit 0 set for a command set, clear for a data set (set before each write).
  std::uint8_t MsgHeaderToWrite = 0;
  // Reading: a message part that grows past this (0: MaxMessagePartLength
  // only) is not kept: its further fragments are read and dropped, so the
  // association stays in step, and Oversized is set until the next part.
  std::uint32_t PartLimit = 0;
  bool Oversized = false;

  // Reads PDVs into VRBuffer until a message part is complete or the PDU is
  // used up. The caller has read the PDU type byte of a new PDU, or Length
  // is not 0. Lengths that cannot fit are refused before anything is read.
  bool ReadDynamic(Buffer& link);
  // Sends VRBuffer's outgoing bytes as P-DATA-TF PDUs, one PDV each.
  bool Write(Buffer& link);
  // Queues those PDUs in link's outgoing queue without sending them, so
  // that several message parts can leave in one send.
  void Queue(Buffer& link);
  // Sends everything queued in `link`; a failure is logged.
  bool Send(Buffer& link);
};

}  // namespace tarvelin
