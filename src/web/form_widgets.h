#pragma once
// Selectors shared by the worklist forms.
#include <array>
#include <string>

// The modality list by index (the index is what DefaultModality holds, the
// code what the Worklist table stores).
inline constexpr std::array<const char*, 12> kModalityCodes = {"CR", "CT", "MR", "US", "DX", "OT",
                                                               "MG", "PT", "NM", "XA", "ECG", "ES"};

// <SELECT name="Modality"> of the entry form with the entry at `index`
// SELECTED; an index outside the list marks none. A non-empty `storedCode`
// outside the list (an HL7 order's "SC") is offered last and SELECTED, so
// saving an unchanged edit form keeps it.
std::string ModalitySelect(int index, const std::string& storedCode = "");

// The HOUR and MINUTES selectors for a time "hh:mm" (empty, or a part that is
// not a number: the current local time's). Minutes go in steps of ten; 37
// selects 30. With `keepMinute` (the edit form of a stored entry) a minute
// off the ten-step is offered too and selected, so an unchanged save keeps 14:37.
std::string TimeSelect(const std::string& time, bool keepMinute = false);
