#pragma once
// The dataset codec: implicit VR little endian, explicit VR little endian and
// explicit VR big endian, on an in-memory byte stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dicom/dcmobj.h"
#include "dicom/dcmtag.h"

namespace tarvelin {

inline constexpr const char* ExplicitVRBigEndianTS = "1.2.840.10008.1.2.2";

// The bytes being read or written, with the current position.
struct MemoryStream {
  std::vector<std::uint8_t> Bytes;
  std::size_t Position = 0;

  std::size_t Size() const { return Bytes.size(); }
  std::size_t Left() const { return Position < Bytes.size() ? Bytes.size() - Position : 0; }
};

class BufData {
 public:
  // Numbers in the stream (group, element, lengths) are big-endian.
  std::uint8_t BigEndian = 0;
  MemoryStream Stream;

  BufData() = default;
  // A stream holding a copy of `size` bytes, positioned at the start.
  BufData(const std::uint8_t* bytes, std::size_t size);

  // Decodes the element at the current position into `tag` (which should be
  // empty). Fails with a log line when the stream ends before the header or
  // the value is complete; nothing is allocated for a value that cannot fit.
  bool ReadTag(DcmTag& tag, bool explicitVR, bool insideSequence);
  // Decodes from the current position to the end into obj's entries.
  bool ReadOjb(DcmObj& obj);
  // Decodes the value of a sequence or item element into `nested`.
  bool Expand_SQ(DcmObj& nested, const DcmTag& tag);
  // Encodes one element at the current position.
  void WriteTag(const DcmTag& tag, bool explicitVR);
  // Encodes all entries of `obj` (nested datasets with defined lengths).
  void WriteObj(DcmObj& obj);
};

}  // namespace tarvelin
