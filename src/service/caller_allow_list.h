#pragma once
// Who may open a DICOM association, and what each caller may do: the
// optional file callers.txt of the instance folder. One entry a line:
//
//   CT_SCANNER1  query,mpps  10.1.2.0/24 10.1.3.7
//   MR_WEST      query
//
// the calling AE title (exact, without blanks), then optionally the rights
// ("query" for worklist queries, "mpps" for procedure step reports; none
// written: both) and the host addresses or networks it may call from (none
// written: any). Blank lines and lines starting with "#" or ";" are
// comments. The first entry that matches both AE title and address decides.
// A line that cannot be read is reported and matches nothing, so a typing
// error never opens the door wider. Without entries the list is off and
// everyone may do everything, as before the list existed.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/address_range.h"

namespace tarvelin {

struct CallerRights {
  bool Query = true;
  bool Mpps = true;
};

class CallerAllowList {
 public:
  // The list of `text`; every line that cannot be read appends one text
  // ("line N: why") to `errors`.
  static CallerAllowList Parse(std::string_view text, std::vector<std::string>& errors);

  // True when at least one entry line was written (readable or not).
  bool On() const { return on_; }

  // The rights of `callingAE` calling from `address`; empty when the list
  // is on and no entry matches. With the list off: every right.
  std::optional<CallerRights> Admit(std::string_view callingAE, std::string_view address) const;

 private:
  struct Entry {
    std::string callingAE;
    CallerRights rights;
    std::vector<AddressRange> hosts;  // empty: any address
  };
  static std::optional<Entry> ParseEntry(std::string_view line, std::string& why);

  bool on_ = false;
  std::vector<Entry> entries_;
};

}  // namespace tarvelin
