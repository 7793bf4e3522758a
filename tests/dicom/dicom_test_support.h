#pragma once
// Helpers of the dicom tests: hand-built byte streams and codec shortcuts.
#include <cstdint>
#include <string>
#include <vector>

#include "dicom/dcmobj.h"

namespace tarvelin {

using Bytes = std::vector<std::uint8_t>;

// Builds a byte stream field by field in one byte order.
class StreamBuilder {
 public:
  explicit StreamBuilder(bool bigEndian = false) : big_(bigEndian) {}
  StreamBuilder& U16(std::uint16_t v);
  StreamBuilder& U32(std::uint32_t v);
  StreamBuilder& Tag(std::uint16_t group, std::uint16_t element) { return U16(group).U16(element); }
  StreamBuilder& Text(const std::string& text);
  StreamBuilder& Raw(const Bytes& bytes);
  // Implicit element: tag, 32-bit length, value.
  StreamBuilder& Implicit(std::uint16_t g, std::uint16_t e, const std::string& value);
  // Explicit element with a 16-bit length.
  StreamBuilder& ExplicitShort(std::uint16_t g, std::uint16_t e, const char* vr, const std::string& value);
  // Explicit element with reserved bytes and a 32-bit length.
  StreamBuilder& ExplicitLong(std::uint16_t g, std::uint16_t e, const char* vr, std::uint32_t length);
  const Bytes& bytes() const { return bytes_; }

 private:
  bool big_;
  Bytes bytes_;
};

// Decodes `bytes` with ReadOjb into `obj` (whose flags the caller set).
bool Decode(const Bytes& bytes, DcmObj& obj, bool bigEndian = false);
// Encodes `obj` with WriteObj.
Bytes Encode(DcmObj& obj);

}  // namespace tarvelin
