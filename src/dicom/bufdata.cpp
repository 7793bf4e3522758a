#include "dicom/bufdata.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "dicom/datadictionary.h"
#include "dicom/vrlayout.h"
#include "service/log.h"

namespace tarvelin {

namespace {

// Sequences nest a few levels in real datasets; the bound keeps a hostile
// stream from exhausting the stack with thousands of nested items.
constexpr int kMaxNesting = 64;

std::string TagText(const DcmTag& tag) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X,%04X", tag.Group, tag.Element);
  return text;
}

// In implicit VR the VR comes from the dictionary; an unknown tag of
// undefined length can only be a sequence.
void ImplicitVR(DcmTag& tag) {
  LookupVR(tag);
  if (tag.IsVR("UN") && tag.Length == UndefinedLength) tag.SetVR("SQ");
}

void MakeNestedHeader(DcmObj& nested, const DcmTag& tag) {
  nested.Header.Group = tag.Group;
  nested.Header.Element = tag.Element;
  nested.Header.Length = tag.Length;
  nested.Header.SetVR(tag.Group == 0xFFFE || tag.Element == 0xE000 ? nullptr : "SQ");
}

// Reads elements from a byte range without ever reading past its end: the
// header first, then (unless the caller expands it in place) the value.
class ElementReader {
 public:
  ElementReader(const std::uint8_t* bytes, std::size_t size, std::size_t& position, bool bigEndian)
      : bytes_(bytes), size_(size), pos_(position), big_(bigEndian) {}

  bool Header(DcmTag& tag, bool explicitVR, bool insideSequence) {
    if (!Need(4, tag, "tag")) return false;
    tag.Group = U16();
    tag.Element = U16();
    const bool withVR = tag.Group != 0x0000 && tag.Group != 0xFFFE &&
                        (explicitVR || (tag.Group == 0x0002 && insideSequence));
    if (!withVR) return Length32(tag);
    if (!Need(2, tag, "VR")) return false;
    const std::uint8_t a = bytes_[pos_], b = bytes_[pos_ + 1];
    if (explicitVR && !(IsVRLetter(a) && IsVRLetter(b))) {
      // Not a VR: an implicit-VR element inside an explicit stream.
      if (!Length32(tag)) return false;
      LookupVR(tag);
      return true;
    }
    pos_ += 2;
    const char vr[3] = {char(a), char(b), 0};
    tag.SetVR(vr);
    if (!explicitVR) LookupVR(tag);
    if (IsLongLengthVR(tag.VR)) {
      if (!Need(6, tag, "length")) return false;
      pos_ += 2;
      return Length32(tag);
    }
    if (!Need(2, tag, "length")) return false;
    tag.Length = U16();
    return true;
  }

  // Refuses a value longer than the bytes left, before anything is allocated.
  bool ValueFits(const DcmTag& tag) const {
    if (!tag.HasValue() || tag.Length <= size_ - pos_) return true;
    WriteLog("ERROR, BufData::ReadTag, read bytes!=tag->length (" + TagText(tag) +
             ") count=" + std::to_string(size_ - pos_) +
             ", tag->length=" + std::to_string(tag.Length));
    return false;
  }

  bool Value(DcmTag& tag) {
    if (!tag.HasValue()) return true;
    if (!ValueFits(tag)) return false;
    try {
      tag.Data.assign(bytes_ + pos_, bytes_ + pos_ + tag.Length);
    } catch (const std::bad_alloc&) {
      WriteLog("ERROR, BufData::ReadTag, assigning memory to tag->data");
      return false;
    } catch (const std::exception&) {
      WriteLog("ERROR: BufData::ReadTag, (" + TagText(tag) + ") tag->length=" +
               std::to_string(tag.Length) + ", MS Size=" + std::to_string(size_) +
               ", MS Pos=" + std::to_string(pos_));
      return false;
    }
    pos_ += tag.Length;
    return true;
  }

  void Skip(std::uint32_t count) { pos_ += count; }
  const std::uint8_t* Here() const { return bytes_ + pos_; }
  bool AtEnd() const { return pos_ >= size_; }

 private:
  static bool IsVRLetter(std::uint8_t c) { return c >= 0x41 && c <= 0x7F; }

  bool Need(std::size_t count, const DcmTag& tag, const char* what) const {
    if (size_ - pos_ >= count) return true;
    WriteLog(std::string("ERROR, BufData::ReadTag, stream ends inside the ") + what +
             " of an element header (" + TagText(tag) + "), MS Size=" + std::to_string(size_) +
             ", MS Pos=" + std::to_string(pos_));
    return false;
  }

  bool Length32(DcmTag& tag) {
    if (!Need(4, tag, "length")) return false;
    const std::uint32_t hi = U16(), lo = U16();
    tag.Length = big_ ? (hi << 16) | lo : (lo << 16) | hi;
    return true;
  }

  std::uint32_t U16() {
    const std::uint8_t a = bytes_[pos_], b = bytes_[pos_ + 1];
    pos_ += 2;
    return big_ ? (std::uint32_t(a) << 8) | b : (std::uint32_t(b) << 8) | a;
  }

  const std::uint8_t* bytes_;
  std::size_t size_;
  std::size_t& pos_;
  bool big_;
};

// Where the entries being read stand, and what ends them: the end of the
// byte range, or for the contents of an undefined-length sequence or item,
// its delimitation item.
struct Contents {
  int Level = 0;
  bool TopLevel = false;     // a message's data set: padding, meta group, pixel data
  bool InSequence = false;   // the entries are a sequence's items
  bool Nests = true;         // sequences and items become nested datasets
  std::uint16_t Closer = 0;  // 0xE0DD, 0xE00D, or 0 for the end of the range
};

bool ReadContents(DcmObj& obj, ElementReader& reader, Contents at, bool bigEndian);

// A sequence, or an item, of defined non-zero length is nested as always;
// of undefined length it is nested too, its length an encoding property
// kept in the Header (an undefined-length item only where items belong).
bool Nests(const DcmTag& tag, bool inSequence) {
  const bool item = tag.Is(0xFFFE, 0xE000);
  if (tag.HasValue()) return tag.IsVR("SQ") || item;
  return tag.Length == UndefinedLength && (tag.IsVR("SQ") || (item && inSequence));
}

// Reads a sequence or item into a nested dataset appended to `parent`. A
// defined length bounds its contents (already checked to fit, read in place
// without a copy); an undefined length runs up to the delimitation item,
// which is consumed.
bool ReadNested(DcmObj& parent, ElementReader& reader, const DcmTag& tag, int level,
                bool bigEndian) {
  auto nested = std::make_unique<DcmObj>();
  nested->ExplicitVR = parent.ExplicitVR;
  nested->BigEndian = bigEndian;
  Contents inner;
  inner.Level = level + 1;
  inner.InSequence = !tag.Is(0xFFFE, 0xE000);
  if (tag.Length == UndefinedLength) {
    inner.Closer = inner.InSequence ? 0xE0DD : 0xE00D;
    if (!ReadContents(*nested, reader, inner, bigEndian)) return false;
  } else {
    std::size_t position = 0;
    ElementReader range(reader.Here(), tag.Length, position, bigEndian);
    if (!ReadContents(*nested, range, inner, bigEndian)) return false;
    reader.Skip(tag.Length);
  }
  MakeNestedHeader(*nested, tag);
  parent.Add(std::move(nested));
  return true;
}

// Reads entries into `obj` until the range ends or the closing delimitation
// item arrives. A sequence whose delimitation item is missing ends with the
// bytes that hold it.
bool ReadContents(DcmObj& obj, ElementReader& reader, Contents at, bool bigEndian) {
  if (at.Level > kMaxNesting) {
    WriteLog("ERROR, Expand_SQ: sequences nested deeper than " + std::to_string(kMaxNesting) +
             " levels");
    return false;
  }
  const auto failed = [&at] {
    if (!at.TopLevel) WriteLog("ERROR, Expand_SQ: Reading tag...");
    return false;
  };
  while (!reader.AtEnd()) {
    DcmTag tag;
    if (!reader.Header(tag, obj.ExplicitVR, !at.TopLevel)) return failed();
    // A zero group length with no value: the rest is padding.
    if (at.TopLevel && tag.Is(0x0000, 0x0000) && tag.Length == 0) return true;
    tag.BigEndian = bigEndian;
    if (!obj.ExplicitVR) ImplicitVR(tag);
    if (at.Closer && tag.Is(0xFFFE, at.Closer)) return reader.Value(tag) || failed();
    const bool nest = at.Nests && Nests(tag, at.InSequence);
    if (nest ? !reader.ValueFits(tag) : !reader.Value(tag)) return failed();
    if (nest) {
      if (!ReadNested(obj, reader, tag, at.Level, bigEndian)) return false;
      continue;
    }
    // After pixel data of a message nothing is nested any more: what follows
    // are its fragments.
    if (at.TopLevel && tag.Is(0x7FE0, 0x0010)) at.Nests = false;
    if (at.TopLevel && tag.Group == 0x0002) continue;
    obj.Add(std::move(tag));
  }
  return true;
}

}  // namespace

BufData::BufData(const std::uint8_t* bytes, std::size_t size) {
  if (size) Stream.Bytes.assign(bytes, bytes + size);
}

bool BufData::ReadTag(DcmTag& tag, bool explicitVR, bool insideSequence) {
  ElementReader reader(Stream.Bytes.data(), Stream.Size(), Stream.Position, BigEndian);
  return reader.Header(tag, explicitVR, insideSequence) && reader.Value(tag);
}

bool BufData::ReadOjb(DcmObj& obj) {
  if (Stream.Position > Stream.Size()) Stream.Position = Stream.Size();
  ElementReader reader(Stream.Bytes.data(), Stream.Size(), Stream.Position, BigEndian);
  Contents top;
  top.TopLevel = true;
  return ReadContents(obj, reader, top, BigEndian);
}

bool BufData::Expand_SQ(DcmObj& nested, const DcmTag& tag) {
  const std::size_t size = tag.HasValue() ? std::min<std::size_t>(tag.Length, tag.Data.size()) : 0;
  std::size_t position = 0;
  ElementReader reader(tag.Data.data(), size, position, nested.BigEndian);
  Contents at;
  at.Level = 1;
  at.InSequence = tag.IsVR("SQ");
  at.Nests = !tag.Is(0x7FE0, 0x0010);
  return ReadContents(nested, reader, at, nested.BigEndian);
}

namespace {

// `count` bytes to write at the stream's position, which moves past them.
// Encoding appends, so this is usually the end of the stream.
std::uint8_t* Claim(MemoryStream& stream, std::size_t count) {
  std::vector<std::uint8_t>& out = stream.Bytes;
  if (out.size() < stream.Position + count) out.resize(stream.Position + count);
  std::uint8_t* at = out.data() + stream.Position;
  stream.Position += count;
  return at;
}

// Numbers in the stream's byte order, appended to a header being assembled.
std::uint8_t* Put16(std::uint8_t* at, std::uint16_t value, bool bigEndian) {
  at[0] = std::uint8_t(bigEndian ? value >> 8 : value);
  at[1] = std::uint8_t(bigEndian ? value : value >> 8);
  return at + 2;
}

std::uint8_t* Put32(std::uint8_t* at, std::uint32_t value, bool bigEndian) {
  at = Put16(at, std::uint16_t(bigEndian ? value >> 16 : value), bigEndian);
  return Put16(at, std::uint16_t(bigEndian ? value : value >> 16), bigEndian);
}

// Tag, VR (when it carries one) and length of `tag`, without its value:
// layout.Size bytes written at `at`.
void WriteHeader(std::uint8_t* at, const DcmTag& tag, HeaderLayout layout, bool bigEndian) {
  at = Put16(at, tag.Group, bigEndian);
  at = Put16(at, tag.Element, bigEndian);
  if (!layout.VR) {
    Put32(at, tag.Length, bigEndian);
    return;
  }
  *at++ = std::uint8_t(layout.VR[0]);
  *at++ = std::uint8_t(layout.VR[1]);
  if (layout.Size == 12) {
    at = Put16(at, 0, bigEndian);
    Put32(at, tag.Length, bigEndian);
  } else {
    Put16(at, std::uint16_t(tag.Length), bigEndian);
  }
}

void WriteEntries(BufData& out, DcmObj& obj);

// A sequence or item with its contents. Its length is only known once the
// contents are written, so when the header's length field is 32 bits wide
// whatever the length (the usual case) it is filled in afterwards instead of
// walking the contents twice.
void WriteNested(BufData& out, DcmObj& nested, bool explicitVR) {
  nested.ExplicitVR = explicitVR;
  nested.BigEndian = out.BigEndian;
  DcmTag& header = nested.Header;
  if (header.Length == UndefinedLength) {
    out.WriteTag(header, explicitVR);
    WriteEntries(out, nested);
    out.WriteTag(DelimiterOf(header), explicitVR);
    return;
  }
  HeaderLayout layout = LayoutOf(header, explicitVR);
  const bool wideLength = layout.Size == 12 || !layout.VR;
  if (!wideLength) {
    header.Length = nested.EncodedLength();
    layout = LayoutOf(header, explicitVR);  // "UN" when the length needs 32 bits
  }
  const std::size_t headerAt = out.Stream.Position;
  Claim(out.Stream, layout.Size);
  const std::size_t contentsAt = out.Stream.Position;
  WriteEntries(out, nested);
  if (wideLength) header.Length = static_cast<std::uint32_t>(out.Stream.Position - contentsAt);
  WriteHeader(out.Stream.Bytes.data() + headerAt, header, layout, out.BigEndian);
}

// Encodes the entries of `obj` into `out`; nested datasets are written in
// the same byte order and VR form as their parent, with defined lengths
// unless their Header keeps the undefined length they arrived with.
void WriteEntries(BufData& out, DcmObj& obj) {
  for (DcmEntry& entry : obj.Entries) {
    if (entry.IsTag())
      out.WriteTag(*entry.Tag, obj.ExplicitVR);
    else
      WriteNested(out, *entry.Obj, obj.ExplicitVR);
  }
}

}  // namespace

void BufData::WriteTag(const DcmTag& tag, bool explicitVR) {
  const HeaderLayout layout = LayoutOf(tag, explicitVR);
  const std::uint32_t headerSize = layout.Size;
  const std::size_t valueSize = tag.HasValue() ? tag.Length : 0;
  std::uint8_t* at = Claim(Stream, headerSize + valueSize);
  WriteHeader(at, tag, layout, BigEndian);
  // Exactly Length bytes, even if Data was resized behind the element's
  // back: what Data lacks is written as zeros.
  const std::size_t available = std::min(valueSize, tag.Data.size());
  if (available > 0) std::memcpy(at + headerSize, tag.Data.data(), available);
  std::memset(at + headerSize + available, 0, valueSize - available);
}

void BufData::WriteObj(DcmObj& obj) {
  if (obj.TransferSyntax == ExplicitVRBigEndianTS) BigEndian = 1;
  WriteEntries(*this, obj);
}

}  // namespace tarvelin
