#include "web/form_widgets.h"

#include <cstdio>

#include "platform/clock.h"
#include "service/text.h"
#include "web/html_escape.h"

namespace tarvelin {

namespace {
std::string TwoDigits(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

std::string Option(const std::string& value, bool selected) {
  return "<option" + std::string(selected ? " selected" : "") + ">" + value + "</option>";
}
}  // namespace

std::string ModalitySelect(const std::string& current) {
  std::string html = "<select id=\"Modality\" name=\"Modality\" required data-descriptions=\"ProcDescription\">"
                     "<option value=\"\">(choose)</option>";
  bool listed = current.empty();
  for (const char* code : kModalityCodes) {
    html += Option(code, current == code);
    listed = listed || current == code;
  }
  if (!listed) html += Option(HtmlEscape(current), true);
  return html + "</select>\r\n";
}

std::string TimeSelect(const std::string& time, bool keepMinute) {
  const std::tm now = LocalTime(Now());
  int hour = now.tm_hour, minute = now.tm_min;
  if (!time.empty()) {
    hour = static_cast<int>(ToIntDef(time.substr(0, 2), hour));
    minute = static_cast<int>(ToIntDef(time.size() > 3 ? time.substr(3, 2) : "", minute));
  }
  std::string html = "<select id=\"HOUR\" name=\"HOUR\" required>";
  for (int h = 0; h < 24; ++h) html += Option(TwoDigits(h), h == hour);
  html += "</select> : <select id=\"MINUTES\" name=\"MINUTES\" aria-label=\"Start minutes\" required>";
  const bool exact = keepMinute && minute % 10 != 0 && minute > 0 && minute < 60;
  for (int m = 0; m < 60; m += 10) {
    html += Option(TwoDigits(m), !exact && m / 10 == minute / 10);
    if (exact && m / 10 == minute / 10) html += Option(TwoDigits(minute), true);
  }
  return html + "</select>\r\n";
}

}  // namespace tarvelin
