#pragma once
// A-ASSOCIATE-RQ (type 1) and A-ASSOCIATE-AC (type 2). Both share the fixed
// part (protocol version, AE titles, reserved bytes), the application
// context item and the user information item; they differ in their list of
// presentation context items.
#include <cstdint>
#include <string>
#include <vector>

#include "net/buffer.h"
#include "net/presentation_context.h"
#include "net/uid_item.h"
#include "net/user_information.h"

namespace tarvelin {

inline constexpr const char* DICOMApplicationContext = "1.2.840.10008.3.1.1.1";

class AssociatePDU {
 public:
  std::uint8_t ItemType;
  std::uint8_t Reserved1 = 0;
  std::uint32_t Length = 0;
  std::uint16_t ProtocolVersion = 1;
  std::uint16_t Reserved2 = 0;
  char CalledApTitle[17] = {};   // 16 bytes as on the wire, then a zero
  char CallingApTitle[17] = {};
  std::uint8_t Reserved3[32] = {};
  UIDitem AppContext{0x10, DICOMApplicationContext};
  UserInformation UserInfo;

  // Copies up to 16 bytes as given (no padding is added); the rest is zero.
  bool SetCalledApTitle(const std::string& title);
  bool SetCallingApTitle(const std::string& title);
  // The title as held in memory: up to the first zero, padding kept.
  std::string GetCalledApTitle() const;
  std::string GetCallingApTitle() const;
  bool SetApplicationContext(const std::string& uid);

 protected:
  explicit AssociatePDU(std::uint8_t type) : ItemType(type) {}
  // Reserved1, Length and the fixed fields. The PDU body after Length is
  // taken into `body` whole (refused when shorter than the fixed part or
  // longer than an association PDU may be), so items can never be read past
  // the end of the PDU.
  bool ReadFixed(Buffer& link, Buffer& body, const char* where);
  void WriteFixed(Buffer& link);
  void LogFixed(const char* header) const;
  // Length from the fixed part, the application context, the user
  // information and `contextsSize`; the whole PDU size.
  std::uint32_t SizeWith(std::uint32_t contextsSize);
  // Reads an application context (0x10) or user information (0x50) item from
  // the body. False when `type` is neither; `refused` when the item did not fit.
  bool ReadSharedItem(std::uint8_t type, Buffer& body, bool& refused);
};

class AAssociateRQ : public AssociatePDU {
 public:
  std::vector<PresentationContext> PresContexts;

  AAssociateRQ() : AssociatePDU(0x01) {}
  bool AddPresentationContext(const PresentationContext& context);
  bool Write(Buffer& link);
  // Reads after the type byte.
  bool Read(Buffer& link);
  // Reads the type byte first.
  bool ReadDynamic(Buffer& link);
  std::uint32_t Size();
};

class AAssociateAC : public AssociatePDU {
 public:
  std::vector<PresentationContextAccept> PresContextAccepts;

  AAssociateAC() : AssociatePDU(0x02) {}
  bool AddPresentationContextAccept(const PresentationContextAccept& accept);
  bool Write(Buffer& link);
  bool Read(Buffer& link);
  bool ReadDynamic(Buffer& link);
  std::uint32_t Size();
};

}  // namespace tarvelin
