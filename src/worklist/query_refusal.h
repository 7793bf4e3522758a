#pragma once
// Why a worklist query is answered with a failure instead of matches: the
// status of the final response, its Error Comment and Offending Element.
#include <cstdint>
#include <string>

namespace tarvelin {

struct QueryRefusal {
  std::uint16_t Status = 0;    // 0: the query can be answered
  std::string Comment;         // sent as Error Comment (at most 64 characters) and logged
  std::uint32_t Offending = 0;  // group << 16 | element, 0 for none

  explicit operator bool() const { return Status != 0; }
};

// group << 16 | element, the form the refusal and the warnings name tags in.
inline std::uint32_t TagNumber(std::uint16_t group, std::uint16_t element) {
  return static_cast<std::uint32_t>(group) << 16 | element;
}

// A TagNumber as the log names it: "(0010,0010)".
std::string TagText(std::uint32_t tag);

}  // namespace tarvelin
