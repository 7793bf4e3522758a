#pragma once
// Dates and times between the database's DICOM forms (yyyymmdd, hhmmss) and
// the pages. Pages show one date form, ISO yyyy-mm-dd, the form of a
// browser's date input. Typed dates may also come month first (mm/dd/yyyy)
// where the locale's territory is US, day first (dd/mm/yyyy) elsewhere.
// Nothing is validated: short or malformed input gives correspondingly short
// or mixed text, never a failure.
#include <string>

namespace tarvelin {

// 20240315 -> 2024-03-15; anything not eight characters long unchanged.
std::string DicomDateToDisplay(const std::string& date);

// 2024-03-15 (a browser's date input), 03/15/2024 (month first) or 15/03/2024
// -> 20240315; "" -> "".
std::string DisplayDateToDicom(const std::string& text);

// 1430 or 143000 -> 14:30; "" -> "".
std::string DicomTimeToDisplay(const std::string& time);

// A stored date (and time, when not empty) for a page: the date as ISO text
// in a <time> element, whose datetime the page's script shows as the
// browser's date inputs do; a value that is no date is shown as it is.
// Escaped.
std::string DateTimeHtml(const std::string& date, const std::string& time);

}  // namespace tarvelin
