#include "hl7/hl7_timestamp.h"

#include <cctype>

namespace tarvelin {

namespace {

bool Digits(const std::string& text, std::size_t from, std::size_t count) {
  if (from + count > text.size()) return false;
  for (std::size_t i = from; i < from + count; ++i)
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

int Number(const std::string& text, std::size_t from, std::size_t count) {
  return std::stoi(text.substr(from, count));
}

bool LeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool ValidDate(int year, int month, int day) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || month < 1 || month > 12 || day < 1) return false;
  return day <= kDays[month - 1] + (month == 2 && LeapYear(year) ? 1 : 0);
}

// "+HHMM" or "-HHMM" at the end of a value.
bool ValidZone(const std::string& zone) {
  return zone.size() == 5 && (zone[0] == '+' || zone[0] == '-') && Digits(zone, 1, 4) &&
         Number(zone, 1, 2) <= 14 && Number(zone, 3, 2) <= 59;
}

}  // namespace

bool ParseHL7Timestamp(const std::string& ts, DicomDateTime& out) {
  std::string value = ts;
  const auto sign = value.find_first_of("+-");
  if (sign != std::string::npos) {
    if (!ValidZone(value.substr(sign))) return false;
    value.resize(sign);
  }
  if (!Digits(value, 0, 8) || !ValidDate(Number(value, 0, 4), Number(value, 4, 2), Number(value, 6, 2)))
    return false;
  DicomDateTime parsed{value.substr(0, 8), ""};
  const std::string time = value.substr(8);
  if (!time.empty()) {
    const auto dot = time.find('.');
    const std::string whole = time.substr(0, dot);
    if ((whole.size() != 4 && whole.size() != 6) || !Digits(whole, 0, whole.size())) return false;
    if (Number(whole, 0, 2) > 23 || Number(whole, 2, 2) > 59) return false;
    if (whole.size() == 6 && Number(whole, 4, 2) > 59) return false;
    parsed.time = whole;
    if (dot != std::string::npos) {
      const std::string fraction = time.substr(dot + 1);
      // A fraction needs whole seconds before it, and DICOM TM keeps six digits.
      if (whole.size() != 6 || fraction.empty() || fraction.size() > 6 || !Digits(fraction, 0, fraction.size()))
        return false;
      parsed.time += "." + fraction;
    }
  }
  out = parsed;
  return true;
}

}  // namespace tarvelin
