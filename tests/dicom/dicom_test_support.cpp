#include "dicom_test_support.h"

#include "dicom/bufdata.h"

namespace tarvelin {

StreamBuilder& StreamBuilder::U16(std::uint16_t v) {
  if (big_) {
    bytes_.push_back(std::uint8_t(v >> 8));
    bytes_.push_back(std::uint8_t(v));
  } else {
    bytes_.push_back(std::uint8_t(v));
    bytes_.push_back(std::uint8_t(v >> 8));
  }
  return *this;
}

StreamBuilder& StreamBuilder::U32(std::uint32_t v) {
  return big_ ? U16(std::uint16_t(v >> 16)).U16(std::uint16_t(v))
              : U16(std::uint16_t(v)).U16(std::uint16_t(v >> 16));
}

StreamBuilder& StreamBuilder::Text(const std::string& text) {
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  return *this;
}

StreamBuilder& StreamBuilder::Raw(const Bytes& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

StreamBuilder& StreamBuilder::Implicit(std::uint16_t g, std::uint16_t e, const std::string& value) {
  return Tag(g, e).U32(std::uint32_t(value.size())).Text(value);
}

StreamBuilder& StreamBuilder::ExplicitShort(std::uint16_t g, std::uint16_t e, const char* vr,
                                            const std::string& value) {
  return Tag(g, e).Text(vr).U16(std::uint16_t(value.size())).Text(value);
}

StreamBuilder& StreamBuilder::ExplicitLong(std::uint16_t g, std::uint16_t e, const char* vr,
                                           std::uint32_t length) {
  return Tag(g, e).Text(vr).U16(0).U32(length);
}

bool Decode(const Bytes& bytes, DcmObj& obj, bool bigEndian) {
  BufData buf(bytes.data(), bytes.size());
  buf.BigEndian = bigEndian;
  return buf.ReadOjb(obj);
}

Bytes Encode(DcmObj& obj) {
  BufData buf;
  buf.WriteObj(obj);
  return buf.Stream.Bytes;
}

}  // namespace tarvelin
