#include "web/list_query.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "platform/clock.h"
#include "service/text.h"
#include "web/date_display.h"
#include "web/form_widgets.h"
#include "web/url_encode.h"

namespace tarvelin {

namespace {
constexpr std::pair<const char*, WorklistOrder> kSorts[] = {
    {"start", WorklistOrder::Start},         {"name", WorklistOrder::Name},
    {"id", WorklistOrder::PatientID},        {"accession", WorklistOrder::Accession},
    {"modality", WorklistOrder::Modality},   {"station", WorklistOrder::Station},
    {"status", WorklistOrder::Status},       {"description", WorklistOrder::Description},
};

std::string TodayDicom() {
  const std::tm t = LocalTime(Now());
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d", &t);
  return text;
}

// Older forms sent the index into the fixed modality list.
std::string ModalityCode(const std::string& value) {
  if (value.empty() || !std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); }))
    return value;
  const long long index = ToIntDef(value, 0);
  return index >= 1 && index <= static_cast<long long>(kModalityCodes.size()) ? kModalityCodes[index - 1] : "";
}

std::string InputDate(const std::string& dicom) {
  return dicom.size() == 8 ? dicom.substr(0, 4) + "-" + dicom.substr(4, 2) + "-" + dicom.substr(6, 2) : dicom;
}
}  // namespace

WorklistOrder OrderOf(const std::string& sort) {
  for (const auto& [key, order] : kSorts)
    if (sort == key) return order;
  return WorklistOrder::Start;
}

ListQuery ReadListQuery(const ParamList& params) {
  ListQuery q;
  WorklistFilter& f = q.Filter;
  bool datesGiven = false;
  long long offset = -1;
  for (const auto& entry : params) {
    const std::string name = ParamName(entry);
    const std::string value = Trim(ParamValue(entry));
    if (name == "DateFrom") datesGiven = true, f.DateFrom = DisplayDateToDicom(value);
    else if (name == "DateTo") datesGiven = true, f.DateTo = DisplayDateToDicom(value);
    else if (name == "Status") f.Status = value;
    else if (name == "Modality") f.Modality = ModalityCode(value);
    else if (name == "Station") f.Station = value;
    else if (name == "PatientID") f.PatientID = value;
    else if (name == "LastName") f.Family = value == "LAST" ? "" : value;
    else if (name == "FirstName") f.Given = value == "FIRST" ? "" : value;
    else if (name == "PatientName" && !value.empty()) f.Family = Piece(value, "^", 1), f.Given = Piece(value, "^", 2);
    else if (name == "Sort") q.Sort = value;
    else if (name == "Order") q.Descending = value == "desc";
    else if (name == "PageSize") q.PageSize = static_cast<int>(ToIntDef(value, 25));
    else if (name == "Page") q.Page = ToIntDef(value, 1);
    else if (name == "Offset") offset = ToIntDef(value, 0);
  }
  if (!datesGiven) f.DateFrom = f.DateTo = TodayDicom();
  if (std::find(std::begin(kPageSizes), std::end(kPageSizes), q.PageSize) == std::end(kPageSizes)) q.PageSize = 25;
  if (OrderOf(q.Sort) == WorklistOrder::Start) q.Sort = "start";
  if (offset >= 0) q.Page = offset / q.PageSize + 1;
  // Bounded so that the offset arithmetic cannot overflow.
  q.Page = std::clamp(q.Page, 1LL, 1LL << 40);
  return q;
}

std::string ListQueryText(const ListQuery& q) {
  const WorklistFilter& f = q.Filter;
  std::string text;
  const auto add = [&](const char* name, const std::string& value) {
    if (!text.empty()) text.push_back('&');
    text.append(name).append("=").append(UrlEncode(value));
  };
  add("DateFrom", InputDate(f.DateFrom));
  add("DateTo", InputDate(f.DateTo));
  for (const auto& [name, value] : {std::pair{"Status", f.Status}, {"Modality", f.Modality}, {"Station", f.Station},
                                    {"PatientID", f.PatientID}, {"LastName", f.Family}, {"FirstName", f.Given}})
    if (!value.empty()) add(name, value);
  if (q.Sort != "start") add("Sort", q.Sort);
  if (q.Descending) add("Order", "desc");
  if (q.PageSize != 25) add("PageSize", std::to_string(q.PageSize));
  if (q.Page != 1) add("Page", std::to_string(q.Page));
  return text;
}

std::string SafeQueryText(const std::string& text) {
  std::string safe;
  for (const char c : text)
    if (std::isalnum(static_cast<unsigned char>(c)) || std::string_view("%&=+-._~").find(c) != std::string_view::npos)
      safe += c;
  return safe;
}

}  // namespace tarvelin
