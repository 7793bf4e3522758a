#include "worklist/match_value.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tarvelin {

namespace {

bool AllDigits(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// YYYYMMDD, or the older YYYY.MM.DD that modalities still send; "" when the
// text is neither or names no calendar day.
std::string DateBound(std::string text) {
  if (text.size() == 10 && text[4] == '.' && text[7] == '.') text = text.substr(0, 4) + text.substr(5, 2) + text.substr(8, 2);
  if (text.size() != 8 || !AllDigits(text)) return "";
  const int month = std::stoi(text.substr(4, 2));
  const int day = std::stoi(text.substr(6, 2));
  if (month < 1 || month > 12 || day < 1 || day > 31) return "";
  return text;
}

// HH, HHMM or HHMMSS with an optional fraction, or the older HH:MM:SS form,
// as HHMMSS padded with `pad`; "" when the text is no time of day.
std::string TimeBound(std::string text, char pad) {
  text.erase(std::remove(text.begin(), text.end(), ':'), text.end());
  const auto dot = text.find('.');
  if (dot != std::string::npos) {
    if (dot != 6 || dot + 1 == text.size() || text.size() > 13 || !AllDigits(text.substr(dot + 1))) return "";
    text.resize(dot);
  }
  if ((text.size() != 2 && text.size() != 4 && text.size() != 6) || !AllDigits(text)) return "";
  if (std::stoi(text.substr(0, 2)) > 23 || (text.size() >= 4 && std::stoi(text.substr(2, 2)) > 59) ||
      (text.size() == 6 && std::stoi(text.substr(4, 2)) > 60))
    return "";
  text.resize(6, pad);
  return text;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool ParseRange(ValueKind kind, const std::string& text, MatchValue& value, std::string& error) {
  const char* what = kind == ValueKind::Date ? "date" : "time";
  const auto dash = text.find('-');
  const bool range = dash != std::string::npos;
  if (range && text.find('-', dash + 1) != std::string::npos) {
    error = std::string("not a ") + what + " or " + what + " range: " + text;
    return false;
  }
  const std::string low = Trimmed(range ? text.substr(0, dash) : text);
  const std::string high = range ? Trimmed(text.substr(dash + 1)) : low;
  value.Form = MatchForm::Range;
  value.Low = low.empty() ? "" : kind == ValueKind::Date ? DateBound(low) : TimeBound(low, '0');
  value.High = high.empty() ? "" : kind == ValueKind::Date ? DateBound(high) : TimeBound(high, '9');
  if ((!low.empty() && value.Low.empty()) || (!high.empty() && value.High.empty())) {
    error = std::string("not a ") + what + " or " + what + " range: " + text;
    return false;
  }
  if (value.Low.empty() && value.High.empty()) value.Form = MatchForm::Universal;  // "-" alone
  return true;
}

bool ParseUids(const std::string& text, MatchValue& value, std::string& error) {
  value.Form = MatchForm::UidList;
  std::string::size_type start = 0;
  while (start <= text.size()) {
    auto end = text.find('\\', start);
    if (end == std::string::npos) end = text.size();
    const std::string uid = Trimmed(text.substr(start, end - start));
    if (uid.empty() || uid.size() > 64 || uid.find_first_not_of("0123456789.") != std::string::npos) {
      error = "not a UID or list of UIDs: " + text;
      return false;
    }
    value.Uids.push_back(uid);
    start = end + 1;
  }
  return true;
}

}  // namespace

std::string KeyText(const DcmTag& element) {
  if (!element.HasValue()) return "";
  const char* bytes = reinterpret_cast<const char*>(element.Data.data());
  return Trimmed(std::string(bytes, strnlen(bytes, element.Data.size())));
}

bool ParseMatchValue(ValueKind kind, const std::string& text, MatchValue& value, std::string& error) {
  value = MatchValue();
  // A lone "*" asks for everything, whatever the value representation.
  if (text.empty() || text == "*") return true;
  switch (kind) {
    case ValueKind::Date:
    case ValueKind::Time:
      return ParseRange(kind, text, value, error);
    case ValueKind::UidList:
      return ParseUids(text, value, error);
    case ValueKind::Text:
    case ValueKind::PersonName:
      break;
  }
  value.Text = text;
  if (kind == ValueKind::PersonName) {
    // Trailing empty name components say nothing: "DOE^JOHN^^" is "DOE^JOHN".
    while (!value.Text.empty() && (value.Text.back() == '^' || value.Text.back() == ' ')) value.Text.pop_back();
    for (char& c : value.Text)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');  // as SQL upper() does
  }
  value.Form = value.Text.find_first_of("*?") == std::string::npos ? MatchForm::Single : MatchForm::Wildcard;
  return true;
}

}  // namespace tarvelin
