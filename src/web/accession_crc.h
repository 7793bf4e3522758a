#pragma once
// The checksum that makes a generated accession number differ between
// patients and schedules added in the same minute.
#include <cstdint>
#include <string>

namespace tarvelin {

// The standard CRC-32 (zlib, PKZIP, Ethernet) of the text's bytes; 0 for "".
std::uint32_t AccessionCrc(const std::string& text);

}  // namespace tarvelin
