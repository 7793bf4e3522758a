#pragma once
// Selectors shared by the worklist forms.
#include <array>
#include <string>

namespace tarvelin {

// The modality list by index (the index is what DefaultModality holds, the
// code what the Worklist table stores).
inline constexpr std::array<const char*, 12> kModalityCodes = {"CR", "CT", "MR", "US", "DX", "OT",
                                                               "MG", "PT", "NM", "XA", "ECG", "ES"};

// The entry form's required modality selector: an empty choice, then the
// list, with `current` selected; a code outside the list (an HL7 order's
// "SC") is offered last, so saving an unchanged edit form keeps it.
std::string ModalitySelect(const std::string& current);

// The HOUR and MINUTES selectors for a time "hh:mm" (empty, or a part that is
// not a number: the current local time's). Minutes go in steps of ten; 37
// selects 30. With `keepMinute` (the edit form of a stored entry) a minute
// off the ten-step is offered too and selected, so an unchanged save keeps 14:37.
std::string TimeSelect(const std::string& time, bool keepMinute = false);

}  // namespace tarvelin
