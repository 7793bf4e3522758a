#pragma once
// An IPv4 address or network written as "10.1.2.7" or "10.1.2.0/24", as the
// allow-lists name the hosts that may connect.
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvelin {

class AddressRange {
 public:
  // The range a text names; empty when the text is not a dotted IPv4
  // address with an optional prefix length 0..32.
  static std::optional<AddressRange> Parse(std::string_view text);

  // True when `address` (dotted IPv4) lies in the range; false for anything
  // else, an empty or unknown address included.
  bool Contains(std::string_view address) const;

 private:
  AddressRange(std::uint32_t network, std::uint32_t mask) : network_(network), mask_(mask) {}
  std::uint32_t network_;
  std::uint32_t mask_;
};

}  // namespace tarvelin
