#include "dicom/vrlayout.h"

namespace tarvelin {

DcmTag DelimiterOf(const DcmTag& header) {
  DcmTag delimiter;
  delimiter.Group = 0xFFFE;
  delimiter.Element = header.Is(0xFFFE, 0xE000) ? 0xE00D : 0xE0DD;
  return delimiter;
}

}  // namespace tarvelin
