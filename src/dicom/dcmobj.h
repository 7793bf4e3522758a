#pragma once
// A dataset: an ordered list of data elements and nested datasets.
//
// Every sequence and every item is a nested DcmObj whose Header carries tag,
// VR ("SQ", none for items) and length. Undefined length is only a way of
// encoding one: a Header whose Length is UndefinedLength arrived that way and
// is written back that way, closed by its delimitation item, which is not
// an entry. So every lookup, insertion and walk sees one shape, whatever the
// peer's encoding. Only a sequence of length 0 stays an element, and the
// fragments of encapsulated pixel data follow their (7FE0,0010) as elements.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dicom/dcmtag.h"

namespace tarvelin {

inline constexpr const char* ImplicitVRLittleEndianTS = "1.2.840.10008.1.2";

class DcmObj;

// One entry of a dataset: exactly one of Tag and Obj is set.
struct DcmEntry {
  std::unique_ptr<DcmTag> Tag;
  std::unique_ptr<DcmObj> Obj;

  explicit DcmEntry(DcmTag tag);
  explicit DcmEntry(std::unique_ptr<DcmObj> obj);
  DcmEntry(DcmEntry&&) noexcept;
  DcmEntry& operator=(DcmEntry&&) noexcept;
  ~DcmEntry();

  bool IsTag() const { return Tag != nullptr; }
  bool IsObj() const { return Obj != nullptr; }
  // The element itself, or the Header of a nested dataset.
  const DcmTag& HeaderTag() const;
};

class DcmObj {
 public:
  std::vector<DcmEntry> Entries;
  std::string TransferSyntax = ImplicitVRLittleEndianTS;
  std::uint8_t ExplicitVR = 0;
  // Byte order of nested contents when encoded or expanded.
  std::uint8_t BigEndian = 0;
  // The element this dataset stands for when nested (never holds a value).
  DcmTag Header;

  DcmObj() = default;
  DcmObj(DcmObj&&) noexcept = default;
  DcmObj& operator=(DcmObj&&) noexcept = default;
  DcmObj(const DcmObj&) = delete;
  DcmObj& operator=(const DcmObj&) = delete;

  std::size_t Count() const { return Entries.size(); }
  DcmEntry& Entry(std::size_t index) { return Entries.at(index); }
  const DcmEntry& Entry(std::size_t index) const { return Entries.at(index); }

  // Appends unconditionally.
  void Add(DcmTag tag);
  // Appends a text element with the dictionary's VR.
  void Add(std::uint16_t group, std::uint16_t element, const std::string& text);
  // Appends a nested dataset unconditionally (as the decoder does).
  void Add(std::unique_ptr<DcmObj> nested);
  // Inserts in tag order or replaces the value of the same tag (a nested
  // dataset of that tag is replaced whole), keeping the group length element
  // of that group up to date.
  void Set(DcmTag tag);
  // Inserts `child` as a nested dataset in tag order; its Header gets the tag
  // and VR "SQ" (none for items); its Length stays as the caller set it.
  void AddSequence(std::uint16_t group, std::uint16_t element,
                   std::unique_ptr<DcmObj> child);

  // First element of that tag among the entries (never inside a nested
  // dataset, never a sequence).
  const DcmTag* Find(std::uint16_t group, std::uint16_t element) const;
  // Its GetUS value, or 0 when missing.
  std::uint16_t GetUS(std::uint16_t group, std::uint16_t element) const;
  // Its GetString value, or "" when missing.
  std::string GetString(std::uint16_t group, std::uint16_t element) const;

  // Destroys every entry; flags, TransferSyntax and Header stay.
  void Clear() { Entries.clear(); }
  // Bytes the encoder writes for the entries of this dataset.
  std::uint32_t EncodedLength() const;
};

}  // namespace tarvelin
