#include "web/accession_crc.h"

#include <zlib.h>

namespace tarvelin {

std::uint32_t AccessionCrc(const std::string& text) {
  return static_cast<std::uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
}

}  // namespace tarvelin
