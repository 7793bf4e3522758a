#pragma once
// The fixed 10-byte PDUs: A-ASSOCIATE-RJ (3), A-RELEASE-RQ (5),
// A-RELEASE-RP (6) and A-ABORT (7).
#include <cstdint>
#include <string>

#include "net/buffer.h"

class AAssociateRJ {
 public:
  std::uint8_t ItemType = 0x03;
  std::uint8_t Reserved1 = 0;
  std::uint32_t Length = 4;
  std::uint8_t Reserved2 = 0;
  std::uint8_t Result = 1;
  std::uint8_t Source = 1;
  std::uint8_t Reason = 1;

  bool Write(Buffer& link);
  bool Read(Buffer& link);  // after the type byte
  bool ReadDynamic(Buffer& link);
  std::uint32_t Size() { return 10; }
  // The 10 bytes of the PDU as sent.
  std::string Encoded() const;
};

// A-RELEASE-RQ and A-RELEASE-RP share their layout.
class ReleasePDU {
 public:
  std::uint8_t ItemType;
  std::uint8_t Reserved1 = 0;
  std::uint32_t Length = 4;
  std::uint32_t Reserved2 = 0;

  bool Write(Buffer& link);
  bool Read(Buffer& link);  // after the type byte
  bool ReadDynamic(Buffer& link);
  std::uint32_t Size() { return 10; }

 protected:
  explicit ReleasePDU(std::uint8_t type) : ItemType(type) {}
};

class AReleaseRQ : public ReleasePDU {
 public:
  AReleaseRQ() : ReleasePDU(0x05) {}
};

class AReleaseRP : public ReleasePDU {
 public:
  AReleaseRP() : ReleasePDU(0x06) {}
};

class AAbortRQ {
 public:
  std::uint8_t ItemType = 0x07;
  std::uint8_t Reserved1 = 0;
  std::uint32_t Length = 4;
  std::uint8_t Reserved2 = 0;
  std::uint8_t Reserved3 = 0;
  std::uint8_t Source = 3;
  std::uint8_t Reason = 1;

  bool Write(Buffer& link);
  bool Read(Buffer& link);  // after the type byte
  bool ReadDynamic(Buffer& link);
  std::uint32_t Size() { return 10; }
};
