#pragma once
// Who may send HL7 orders: optional lists of sender addresses and of sending
// applications, from the settings HL7AllowedAddresses ("10.1.0.0/16
// 10.2.3.4", blanks or commas between) and HL7AllowedSenders ("RIS, LAB@HOSP":
// an MSH-3 namespace, optionally "@" and an MSH-4 namespace; blanks or commas
// between). Each list is off while empty; an entry that cannot be read is
// reported and matches nothing.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/address_range.h"

namespace tarvelin {

class SenderAllowList {
 public:
  // Every entry that cannot be read appends a text to `errors`.
  static SenderAllowList Parse(std::string_view addresses, std::string_view senders,
                               std::vector<std::string>& errors);

  // True when the address list is off or holds `address`.
  bool AddressAllowed(std::string_view address) const;
  // True when the sender list is off or one entry matches the first
  // components of MSH-3 (`application`) and, when the entry names one, MSH-4
  // (`facility`).
  bool SenderAllowed(std::string_view application, std::string_view facility) const;

 private:
  struct Sender {
    std::string application;
    std::optional<std::string> facility;
  };
  bool addressesOn_ = false;
  std::vector<AddressRange> addresses_;
  bool sendersOn_ = false;
  std::vector<Sender> senders_;
};

}  // namespace tarvelin
