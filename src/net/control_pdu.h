#pragma once
// The fixed 10-byte PDUs: A-ASSOCIATE-RJ (3), A-RELEASE-RQ (5),
// A-RELEASE-RP (6) and A-ABORT (7).
#include <cstdint>
#include <string>

#include "net/buffer.h"

namespace tarvelin {

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

// Who ends an association with an A-ABORT, as the standard numbers it.
enum class AbortSource : std::uint8_t { ServiceUser = 0, ServiceProvider = 2 };
// Why the provider aborts; a service-user abort always carries NotSpecified.
enum class AbortReason : std::uint8_t {
  NotSpecified = 0,
  UnrecognizedPdu = 1,
  UnexpectedPdu = 2,
  UnrecognizedParameter = 4,
  UnexpectedParameter = 5,
  InvalidParameterValue = 6,
};

class AAbortRQ {
 public:
  std::uint8_t ItemType = 0x07;
  std::uint8_t Reserved1 = 0;
  std::uint32_t Length = 4;
  std::uint8_t Reserved2 = 0;
  std::uint8_t Reserved3 = 0;
  std::uint8_t Source = static_cast<std::uint8_t>(AbortSource::ServiceProvider);
  std::uint8_t Reason = static_cast<std::uint8_t>(AbortReason::NotSpecified);

  // Source and reason of the next Write; a service-user abort gets reason 0.
  void Set(AbortSource source, AbortReason reason);

  bool Write(Buffer& link);
  bool Read(Buffer& link);  // after the type byte
  bool ReadDynamic(Buffer& link);
  std::uint32_t Size() { return 10; }
};

}  // namespace tarvelin
