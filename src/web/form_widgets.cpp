#include "web/form_widgets.h"

#include <cstdio>

#include "platform/clock.h"
#include "service/text.h"
#include "web/html_escape.h"

namespace {
std::string TwoDigits(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

std::string Option(const std::string& value, bool selected) {
  return std::string(selected ? "<OPTION SELECTED VALUE=\"" : "<OPTION VALUE=\"") + value + "\"> " + value + "\r\n";
}
}  // namespace

std::string ModalitySelect(int index, const std::string& storedCode) {
  std::string html =
      "<SELECT name=\"Modality\" value=\"Modality\" onchange=\"ModalityChange(this.options[this.selectedIndex].value)\">";
  bool listed = storedCode.empty();
  for (int i = 0; i < static_cast<int>(kModalityCodes.size()); ++i) {
    html += std::string("<OPTION ") + (i == index ? "SELECTED" : "") + " VALUE=\"" + kModalityCodes[i] + "\"> " +
            kModalityCodes[i] + "\r\n";
    listed = listed || storedCode == kModalityCodes[i];
  }
  if (!listed) html += Option(HtmlEscape(storedCode), true);
  return html + "</SELECT>\r\n";
}

std::string TimeSelect(const std::string& time, bool keepMinute) {
  const std::tm now = LocalTime(Now());
  int hour = now.tm_hour, minute = now.tm_min;
  if (!time.empty()) {
    hour = static_cast<int>(ToIntDef(time.substr(0, 2), hour));
    minute = static_cast<int>(ToIntDef(time.size() > 3 ? time.substr(3, 2) : "", minute));
  }
  std::string html = "<SELECT name=\"HOUR\" value=\"HOUR\">";
  for (int h = 0; h < 24; ++h) html += Option(TwoDigits(h), h == hour);
  html += "</SELECT>&nbsp;<SELECT name=\"MINUTES\" value=\"MINUTES\">";
  const bool exact = keepMinute && minute % 10 != 0 && minute > 0 && minute < 60;
  for (int m = 0; m < 60; m += 10) {
    html += Option(TwoDigits(m), !exact && m / 10 == minute / 10);
    if (exact && m / 10 == minute / 10) html += Option(TwoDigits(minute), true);
  }
  return html + "</SELECT>\r\n";
}
