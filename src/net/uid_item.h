#pragma once
// The UID item layout shared by the application context (0x10), abstract
// syntax (0x30), transfer syntax (0x40) and implementation class UID (0x52):
// type, reserved, 16-bit length, the UID characters without terminator.
#include <cstdint>
#include <string>

#include "net/buffer.h"

namespace tarvelin {

class UIDitem {
 public:
  std::uint8_t ItemType = 0;
  std::uint8_t Reserved1 = 0;
  std::uint16_t Length = 0;
  std::string UID;  // at most 64 characters

  UIDitem() = default;
  UIDitem(std::uint8_t type, const std::string& uid);

  // Sets the UID (and Length); false for a UID over 64 characters.
  bool Set(const std::string& uid);
  bool Write(Buffer& link);
  // Reads after the type byte; `in` holds the rest of the PDU, so a length
  // beyond it or over 64 characters is refused before it is read.
  bool Read(Buffer& in);
  // Reads the type byte first.
  bool ReadDynamic(Buffer& in);
  // Recomputes Length; whole size of the item (Length + 4).
  std::uint32_t Size();
};

}  // namespace tarvelin
