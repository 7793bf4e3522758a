#pragma once
// How an element's header is laid out in the byte stream; shared by the
// encoder and the length computation so the two always agree.
#include <cstdint>

#include "dicom/dcmtag.h"

// Explicit-VR VRs with two reserved bytes and a 32-bit length.
bool IsLongLengthVR(const char* vr);
// Group 0000 (command) and FFFE (items, delimiters) never carry a VR.
inline bool CarriesVR(const DcmTag& tag, bool explicitVR) {
  return explicitVR && tag.Group != 0x0000 && tag.Group != 0xFFFE;
}
// The VR written in explicit VR: the element's own, or "UN" when it has none
// or its length does not fit the 16-bit length of its VR.
const char* VRToWrite(const DcmTag& tag);
// Header bytes of the element: 8, or 12 in explicit VR for long-length VRs.
std::uint32_t HeaderSize(const DcmTag& tag, bool explicitVR);
// The delimitation item that closes an undefined-length sequence (FFFE,E0DD)
// or item (FFFE,E00D) with this header: 8 bytes, no value.
DcmTag DelimiterOf(const DcmTag& header);
