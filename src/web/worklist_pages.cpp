#include "web/worklist_pages.h"

#include <algorithm>

#include "db/sqldb.h"
#include "db/worklist_listing.h"
#include "service/log.h"
#include "service/text.h"
#include "web/date_display.h"
#include "web/filter_choices.h"
#include "web/form_widgets.h"
#include "web/html_escape.h"
#include "web/list_query.h"
#include "web/page_frame.h"
#include "web/url_encode.h"
#include "web/web_rights.h"

namespace tarvelin {

namespace {
struct Column {
  const char* heading;
  const char* sort;  // "" when the column does not sort
};

const Column kColumns[] = {
    {"Start", "start"},   {"Patient", "name"},   {"Patient ID", "id"},        {"Birth date", ""},
    {"Sex", ""},          {"Accession", "accession"}, {"Modality", "modality"}, {"Station", "station"},
    {"Description", "description"}, {"Status", "status"},
};

const char* const kStatuses[] = {"SCHEDULED", "IN PROGRESS", "COMPLETED", "DISCONTINUED"};

// A stored value, trimmed and escaped.
std::string Shown(const std::string& stored) { return HtmlEscape(Trim(stored)); }

std::string Href(const ListQuery& query) { return "worklist?" + HtmlEscape(ListQueryText(query)); }

std::string Options(const std::vector<std::string>& values, const std::string& current, const char* allLabel) {
  std::string html = std::string("<option value=\"\">") + allLabel + "</option>\r\n";
  for (const auto& value : values)
    html += "<option value=\"" + Shown(value) + "\"" + (value == current ? " selected" : "") + ">" + Shown(value) +
            "</option>\r\n";
  return html;
}

std::string Field(const char* id, const char* label, const std::string& control) {
  return std::string("<div class=\"field\"><label for=\"") + id + "\">" + label + "</label>" + control + "</div>\r\n";
}

std::string TextBox(const char* id, const std::string& value) {
  return std::string("<input id=\"") + id + "\" name=\"" + id + "\" value=\"" + Shown(value) + "\">";
}

std::string DateBox(const char* id, const std::string& dicom) {
  return std::string("<input type=\"date\" id=\"") + id + "\" name=\"" + id + "\" value=\"" +
         HtmlEscape(DicomDateToDisplay(dicom)) + "\">";
}

std::string FilterForm(const ListQuery& q, SQLdb& db) {
  FilterChoices choices = CurrentFilterChoices(db);
  std::vector<std::string>& modalities = choices.Modalities;
  std::vector<std::string>& stations = choices.Stations;
  // The choice in the address stays offered even when no entry has it now.
  for (auto* list : {&modalities, &stations}) {
    const std::string& current = list == &modalities ? q.Filter.Modality : q.Filter.Station;
    if (!current.empty() && std::find(list->begin(), list->end(), current) == list->end()) list->push_back(current);
  }
  const std::vector<std::string> statuses(std::begin(kStatuses), std::end(kStatuses));
  std::string sizes;
  for (const int size : kPageSizes)
    sizes += "<option" + std::string(size == q.PageSize ? " selected" : "") + ">" + std::to_string(size) +
             "</option>";
  return "<form accept-charset=\"UTF-8\" class=\"filters\" method=\"get\" action=\"worklist\" role=\"search\" aria-label=\"Worklist filters\">\r\n" +
         Field("DateFrom", "From", DateBox("DateFrom", q.Filter.DateFrom)) +
         Field("DateTo", "To", DateBox("DateTo", q.Filter.DateTo)) +
         Field("Status", "Status", "<select id=\"Status\" name=\"Status\">" + Options(statuses, q.Filter.Status, "All") + "</select>") +
         Field("Modality", "Modality", "<select id=\"Modality\" name=\"Modality\">" + Options(modalities, q.Filter.Modality, "All") + "</select>") +
         Field("Station", "Station", "<select id=\"Station\" name=\"Station\">" + Options(stations, q.Filter.Station, "All") + "</select>") +
         Field("LastName", "Family name", TextBox("LastName", q.Filter.Family)) +
         Field("FirstName", "Given name", TextBox("FirstName", q.Filter.Given)) +
         Field("PatientID", "Patient ID", TextBox("PatientID", q.Filter.PatientID)) +
         Field("PageSize", "Per page", "<select id=\"PageSize\" name=\"PageSize\">" + sizes + "</select>") +
         "<input type=\"hidden\" name=\"Sort\" value=\"" + HtmlEscape(q.Sort) + "\">" +
         (q.Descending ? "<input type=\"hidden\" name=\"Order\" value=\"desc\">" : "") +
         "<div class=\"actions\"><button type=\"submit\">Show</button> <a href=\"worklist\">Today</a></div>\r\n</form>\r\n";
}

std::string HeadingCell(const Column& column, const ListQuery& q) {
  if (!*column.sort) return std::string("<th scope=\"col\">") + column.heading + "</th>";
  ListQuery target = q;
  target.Page = 1;
  const bool current = q.Sort == column.sort;
  target.Sort = column.sort;
  target.Descending = current && !q.Descending;
  const char* sorted = !current ? "" : q.Descending ? " aria-sort=\"descending\"" : " aria-sort=\"ascending\"";
  const char* mark = !current ? "" : q.Descending ? " &#9660;" : " &#9650;";
  return std::string("<th scope=\"col\"") + sorted + "><a href=\"" + Href(target) + "\">" + column.heading + mark +
         "</a></th>";
}

std::string Row(const WorklistDB& e, const std::string& listQuery, bool selectable) {
  const std::string key = UrlEncode(e.AccessionNumber);
  std::string html = "<tr>";
  if (selectable)
    html += "<td><input type=\"checkbox\" name=\"AccessionNumber\" value=\"" + Shown(e.AccessionNumber) +
            "\" aria-label=\"Select " + Shown(e.AccessionNumber) + "\"></td>";
  const std::string name = Trim(e.PatientName).empty() ? "(no name)" : e.PatientName;
  html += "<td>" + DateTimeHtml(e.SPSDate, e.SPSTime) + "</td><td><a href=\"form_wlquery?AccessionNumber=" + key + "&amp;ListQuery=" +
          HtmlEscape(UrlEncode(listQuery)) + "\">" + Shown(name) + "</a></td><td>" + Shown(e.PatientID) + "</td><td>" +
          DateTimeHtml(e.PatientBD, "") + "</td><td>" + Shown(e.PatientSex) + "</td><td>" +
          Shown(e.AccessionNumber) + "</td><td>" + Shown(e.Modality) + "</td><td>" + Shown(e.ScheduledStation) +
          "</td><td>" + Shown(e.SPSDescription) + "</td><td>" + Shown(e.SPSStatus) + "</td></tr>\r\n";
  return html;
}

std::string PageLinks(const ListQuery& q, long long lastPage) {
  std::string html = "<nav class=\"pages\" aria-label=\"Pages\">";
  const auto link = [&](long long page, const char* label) {
    ListQuery target = q;
    target.Page = page;
    return page == q.Page || page < 1 || page > lastPage
               ? std::string("<span class=\"off\">") + label + "</span> "
               : "<a href=\"" + Href(target) + "\">" + label + "</a> ";
  };
  html += link(1, "First") + link(q.Page - 1, "Previous");
  html += "<span>Page " + std::to_string(q.Page) + " of " + std::to_string(lastPage) + "</span> ";
  return html + link(q.Page + 1, "Next") + link(lastPage, "Last") + "</nav>\r\n";
}

std::string CountText(long long total) {
  if (total == 0) return "no entries";
  return total == 1 ? "1 entry" : std::to_string(total) + " entries";
}

std::string Results(const ListQuery& q, SQLdb& db, const PageRequest& r) {
  if (!db.IsOpen) return LoggedError("ERROR, Worklist Query failed: ", db.ErrorText);
  ListedEntries page;
  const long long offset = (q.Page - 1) * q.PageSize;
  if (!ListWorklist(db, q.Filter, OrderOf(q.Sort), q.Descending, q.PageSize, offset, page))
    return LoggedError("ERROR, Worklist Query failed: ", db.ErrorText);
  std::string html = "<p class=\"count\" id=\"count\">" + CountText(page.Total) + "</p>\r\n";
  if (page.Total == 0) return html;
  const long long lastPage = (page.Total + q.PageSize - 1) / q.PageSize;
  const std::string listQuery = ListQueryText(q);
  const bool admin = Allowed(WebAction::Delete, r.rights);
  if (admin)
    html += "<form accept-charset=\"UTF-8\" method=\"post\" action=\"form_wlquery\">\r\n" + TokenField(r.token) +
            "<input type=\"hidden\" name=\"ListQuery\" value=\"" + HtmlEscape(listQuery) + "\">\r\n";
  html += "<div class=\"scroll\"><table class=\"list\" aria-describedby=\"count\">\r\n<thead><tr>";
  if (admin) html += "<th scope=\"col\"><span class=\"sr\">Select</span></th>";
  for (const Column& column : kColumns) html += HeadingCell(column, q);
  html += "</tr></thead>\r\n<tbody>\r\n";
  for (const WorklistDB& entry : page.Rows) html += Row(entry, listQuery, admin);
  html += "</tbody></table></div>\r\n";
  if (admin) html += "<p><button type=\"submit\" name=\"Delete\" value=\"Delete\">Delete selected</button></p></form>\r\n";
  return html + PageLinks(q, lastPage);
}

std::string Message(const ParamList& params) {
  const std::string what = FirstParam(params, "msg");
  const std::string key = FirstParam(params, "key");
  if (what == "added") return MessageLine("Added entry " + key);
  if (what == "updated") return MessageLine("Updated entry " + key);
  if (what == "deleted") {
    const long long n = ToIntDef(FirstParam(params, "n"), 0);
    return MessageLine(n == 1 ? "Deleted 1 entry" : "Deleted " + std::to_string(n) + " entries");
  }
  return "";
}
}  // namespace

PageResult WorklistPage(const PageRequest& r) {
  const ListQuery q = ReadListQuery(r.http.Params);
  SQLdb db("quillat", SQLdb::ReadOnly);
  return PageStart("Worklist Query", r.rights) + Message(r.http.Params) + FilterForm(q, db) + Results(q, db, r) +
         PageFooter();
}

PageResult WLQueryDisplay(const PageRequest& r) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  return Results(ReadListQuery(r.http.Params), db, r);
}

}  // namespace tarvelin
