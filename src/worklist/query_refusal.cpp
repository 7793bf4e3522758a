#include "worklist/query_refusal.h"

#include <cstdio>

namespace tarvelin {

std::string TagText(std::uint32_t tag) {
  char text[12];
  std::snprintf(text, sizeof text, "(%04X,%04X)", tag >> 16, tag & 0xFFFF);
  return text;
}

}  // namespace tarvelin
