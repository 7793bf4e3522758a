#include "web/date_display.h"

#include "platform/locale_country.h"
#include "service/text.h"
#include "web/html_escape.h"

namespace tarvelin {

namespace {
// Characters `from` to `to` (counted from 1), as far as the text reaches.
std::string Chars(const std::string& text, std::size_t from, std::size_t to) {
  if (from > text.size()) return "";
  return text.substr(from - 1, to - from + 1);
}
}  // namespace

std::string DicomDateToDisplay(const std::string& date) {
  if (date.size() != 8) return date;
  return Chars(date, 1, 4) + "-" + Chars(date, 5, 6) + "-" + Chars(date, 7, 8);
}

std::string DisplayDateToDicom(const std::string& text) {
  if (text.empty()) return "";
  if (text.find('-') == 4) return Chars(text, 1, 4) + Chars(text, 6, 7) + Chars(text, 9, 10);
  return UsesMonthFirstDates() ? Chars(text, 7, 10) + Chars(text, 1, 2) + Chars(text, 4, 5)
                               : Chars(text, 7, 10) + Chars(text, 4, 5) + Chars(text, 1, 2);
}

std::string DicomTimeToDisplay(const std::string& time) {
  if (time.empty()) return "";
  return Chars(time, 1, 2) + ":" + Chars(time, 3, 4);
}

std::string DateTimeHtml(const std::string& date, const std::string& time) {
  const std::string day = DicomDateToDisplay(Trim(date));
  const std::string clock = HtmlEscape(DicomTimeToDisplay(Trim(time)));
  const std::string shown = day.size() == 10 ? "<time datetime=\"" + HtmlEscape(day) + "\">" + HtmlEscape(day) + "</time>"
                                             : HtmlEscape(day);
  return shown + (clock.empty() ? "" : " " + clock);
}

}  // namespace tarvelin
