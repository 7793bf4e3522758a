#include "service/sender_allow_list.h"

#include <algorithm>

#include "service/text.h"

namespace tarvelin {

namespace {

constexpr std::string_view kSeparators = " ,\t";

// The first component of an HD field ("RIS^1.2.3^ISO" → "RIS").
std::string_view Namespace(std::string_view field) { return field.substr(0, field.find('^')); }

}  // namespace

SenderAllowList SenderAllowList::Parse(std::string_view addresses, std::string_view senders,
                                       std::vector<std::string>& errors) {
  SenderAllowList list;
  for (std::string_view entry : Words(addresses, kSeparators)) {
    list.addressesOn_ = true;
    if (auto range = AddressRange::Parse(entry))
      list.addresses_.push_back(*range);
    else
      errors.push_back("HL7AllowedAddresses: \"" + std::string(entry) + "\" is not an IPv4 address or network");
  }
  for (std::string_view entry : Words(senders, kSeparators)) {
    list.sendersOn_ = true;
    const auto at = entry.find('@');
    Sender sender{std::string(entry.substr(0, at)), std::nullopt};
    if (at != std::string_view::npos) sender.facility = std::string(entry.substr(at + 1));
    if (sender.application.empty() || (sender.facility && sender.facility->empty()))
      errors.push_back("HL7AllowedSenders: \"" + std::string(entry) + "\" is not APPLICATION or APPLICATION@FACILITY");
    else
      list.senders_.push_back(std::move(sender));
  }
  return list;
}

bool SenderAllowList::AddressAllowed(std::string_view address) const {
  return !addressesOn_ || std::any_of(addresses_.begin(), addresses_.end(),
                                      [&](const AddressRange& r) { return r.Contains(address); });
}

bool SenderAllowList::SenderAllowed(std::string_view application, std::string_view facility) const {
  if (!sendersOn_) return true;
  return std::any_of(senders_.begin(), senders_.end(), [&](const Sender& s) {
    return s.application == Namespace(application) && (!s.facility || *s.facility == Namespace(facility));
  });
}

}  // namespace tarvelin
