#pragma once
// The process-wide identifier counter shared by presentation context IDs
// (low 8 bits) and DIMSE message IDs (low 16 bits). Values are odd; they need
// not be unique across associations. Safe to use from any thread.
#include <cstdint>

namespace tarvelin {

// Takes the next odd value: an even counter is first raised by one, its value
// is taken and the counter raised by one more.
std::uint32_t NextOddIdentifier();

// Sets the counter back to 1 (the find client does so before each request).
void ResetIdentifierCounter();

}  // namespace tarvelin
