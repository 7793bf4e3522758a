#pragma once
// Sizes this system announces and the limits it holds untrusted peers to.
#include <cstdint>

namespace tarvelin {

// Maximum PDU length announced in every request and accept.
inline constexpr std::uint32_t OurMaximumLength = 16384;
// Incoming P-DATA-TF PDUs and assembled message parts above this are refused.
inline constexpr std::uint32_t MaxIncomingPDULength = 64u * 1024 * 1024;
inline constexpr std::uint32_t MaxMessagePartLength = 64u * 1024 * 1024;
// Association set-up PDUs (request, accept) above this are refused.
inline constexpr std::uint32_t MaxAssociationPDULength = 1024u * 1024;
// UIDs, version names and role-selection UIDs are at most this long.
inline constexpr std::uint32_t MaxUIDLength = 64;

}  // namespace tarvelin
