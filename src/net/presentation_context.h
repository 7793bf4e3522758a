#pragma once
// Presentation context items: the request item (0x20) with its abstract and
// transfer syntaxes, and the accept item (0x21) with the one transfer syntax
// chosen (empty for a context that is not accepted).
#include <cstdint>
#include <string>
#include <vector>

#include "net/buffer.h"
#include "net/uid_item.h"

namespace tarvelin {

class PresentationContext {
 public:
  std::uint8_t ItemType = 0x20;
  std::uint8_t Reserved1 = 0;
  std::uint16_t Length = 0;
  std::uint8_t PresentationContextID;  // next odd identifier at construction
  std::uint8_t Reserved2 = 0;
  std::uint8_t Reserved3 = 0;
  std::uint8_t Reserved4 = 0;
  UIDitem AbsSyntax{0x30, ""};
  std::vector<UIDitem> TrnSyntax;  // items of type 0x40

  PresentationContext();

  bool SetAbstractSyntax(const std::string& uid);
  bool AddTransferSyntax(const std::string& uid);
  // Fails (with an error line) when no transfer syntax was added.
  bool Write(Buffer& link);
  // Reads after the type byte from `in`, which holds the rest of the PDU.
  // Sub-item lengths beyond it are refused (`refused` set: the PDU read must
  // stop); transfer syntax bytes that do not add up fail only this item.
  bool Read(Buffer& in, bool& refused);
  bool ReadDynamic(Buffer& in, bool& refused);
  std::uint32_t Size();
};

class PresentationContextAccept {
 public:
  // Result values of the accept item.
  static constexpr std::uint8_t Accepted = 0;
  static constexpr std::uint8_t UserRejection = 1;
  static constexpr std::uint8_t AbstractSyntaxNotSupported = 3;
  static constexpr std::uint8_t TransferSyntaxesNotSupported = 4;

  std::uint8_t ItemType = 0x21;
  std::uint8_t Reserved1 = 0;
  std::uint16_t Length = 0;
  std::uint8_t PresentationContextID = 0;
  std::uint8_t Reserved2 = 0;
  std::uint8_t Result = AbstractSyntaxNotSupported;
  std::uint8_t Reserved4 = 0;
  UIDitem AbsSyntax{0x30, ""};  // the abstract syntax answered; never sent
  UIDitem TrnSyntax{0x40, ""};

  bool SetAbstractSyntax(const std::string& uid);
  bool SetTransferSyntax(const std::string& uid);
  bool Write(Buffer& link);
  bool Read(Buffer& in);
  bool ReadDynamic(Buffer& in);
  std::uint32_t Size();
};

}  // namespace tarvelin
