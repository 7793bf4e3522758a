#include "service/address_range.h"

#include <arpa/inet.h>

#include <string>

namespace tarvelin {

namespace {

std::optional<std::uint32_t> DottedAddress(std::string_view text) {
  in_addr parsed{};
  if (text.empty() || inet_pton(AF_INET, std::string(text).c_str(), &parsed) != 1) return std::nullopt;
  return ntohl(parsed.s_addr);
}

}  // namespace

std::optional<AddressRange> AddressRange::Parse(std::string_view text) {
  const auto slash = text.find('/');
  const auto address = DottedAddress(text.substr(0, slash));
  if (!address) return std::nullopt;
  int bits = 32;
  if (slash != std::string_view::npos) {
    const std::string_view prefix = text.substr(slash + 1);
    if (prefix.empty() || prefix.size() > 2) return std::nullopt;
    bits = 0;
    for (char c : prefix) {
      if (c < '0' || c > '9') return std::nullopt;
      bits = bits * 10 + (c - '0');
    }
    if (bits > 32) return std::nullopt;
  }
  const std::uint32_t mask = bits == 0 ? 0 : ~std::uint32_t{0} << (32 - bits);
  return AddressRange(*address & mask, mask);
}

bool AddressRange::Contains(std::string_view address) const {
  const auto parsed = DottedAddress(address);
  return parsed && (*parsed & mask_) == network_;
}

}  // namespace tarvelin
