#pragma once
// One DICOM data element: tag, value representation, length and value bytes.
#include <cstdint>
#include <string>
#include <vector>

namespace tarvelin {

// Length of a sequence or item closed by a delimitation element.
inline constexpr std::uint32_t UndefinedLength = 0xFFFFFFFF;

struct DcmTag {
  std::uint16_t Group = 0;
  std::uint16_t Element = 0;
  // Two ASCII letters then zero bytes; all zero while no VR is known.
  char VR[4] = {0, 0, 0, 0};
  // Value length in bytes; UndefinedLength for sequences/items closed by a
  // delimitation element.
  std::uint32_t Length = 0;
  // Exactly Length bytes; empty when Length is 0 or UndefinedLength.
  std::vector<std::uint8_t> Data;
  // The value bytes are big-endian (element read from a big-endian stream).
  std::uint8_t BigEndian = 0;

  DcmTag() = default;
  // From bytes: an odd length gets one pad byte (0x00 for "UI", a space
  // otherwise). A null `vr` means: the dictionary's VR, and "SQ" for an
  // unknown tag of undefined length.
  DcmTag(std::uint16_t group, std::uint16_t element, std::uint32_t length,
         const void* bytes, const char* vr = nullptr);
  // From 8-bit text (no terminator stored), padded like the bytes form.
  DcmTag(std::uint16_t group, std::uint16_t element, const std::string& text,
         const char* vr = nullptr);
  // A 16-bit or 32-bit number, least significant byte first.
  static DcmTag U16(std::uint16_t group, std::uint16_t element,
                    std::uint16_t value, const char* vr = nullptr);
  static DcmTag U32(std::uint16_t group, std::uint16_t element,
                    std::uint32_t value, const char* vr = nullptr);

  // 0 unless Length is exactly 2; honours BigEndian.
  std::uint16_t GetUS() const;
  // Value up to the first zero byte, with characters <= 0x20 trimmed from
  // both ends; "" for Length 0 or UndefinedLength.
  std::string GetString() const;

  bool HasValue() const { return Length != 0 && Length != UndefinedLength; }
  // True when the VR letters equal `vr` (two letters).
  bool IsVR(const char* vr) const;
  // The VR as text: two letters, or "" while none is known.
  std::string VRText() const;
  // Sets the two VR letters (null or "" clears the VR).
  void SetVR(const char* vr);
  bool Is(std::uint16_t group, std::uint16_t element) const {
    return Group == group && Element == element;
  }
};

}  // namespace tarvelin
