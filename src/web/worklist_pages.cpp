#include "web/worklist_pages.h"

#include <ctime>

#include "db/sqldb.h"
#include "db/sqlquote.h"
#include "platform/clock.h"
#include "service/log.h"
#include "service/text.h"
#include "web/date_display.h"
#include "web/form_widgets.h"
#include "web/html_escape.h"
#include "web/page_frame.h"
#include "web/result_grid.h"

namespace {
const GridColumns kWorklistColumns = {
    "AccessionNumber;Accession;15;TEXT", "PatientID;ID;8;TEXT",         "PatientName;Name;15;TEXT",
    "PatientBD;BirthDate;8;DATE",        "PatientSex;Sex;2;TEXT",       "ReferringPhysician;Referring;15;TEXT",
    "SPSDate;Study Date;8;DATE",         "SPSTime;Study Time;4;TIME",   "Modality;Modality;2;TEXT",
    "SPSDescription;Description;15;TEXT", "SPSStatus;Status;10;TEXT",
};

std::string Today() {
  const std::tm t = LocalTime(Now());
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &t);
  return text;
}

struct WorklistQuery {
  std::string patientID, lastName, firstName, patientName, dateFrom, dateTo;
  long long modality = 0;
};

WorklistQuery ReadQuery(const ParamList& params) {
  WorklistQuery q;
  for (const auto& entry : params) {
    const std::string name = ParamName(entry), value = ParamValue(entry);
    if (name == "PatientID") q.patientID = value;
    else if (name == "LastName") q.lastName = value;
    else if (name == "FirstName") q.firstName = value;
    else if (name == "PatientName") q.patientName = value;
    else if (name == "DateFrom") q.dateFrom = DisplayDateToDicom(value);
    else if (name == "DateTo") q.dateTo = DisplayDateToDicom(value);
    else if (name == "Modality") q.modality = ToIntDef(value, 0);
  }
  if (q.lastName == "LAST") q.lastName.clear();
  if (q.firstName == "FIRST") q.firstName.clear();
  if (!q.lastName.empty() && !q.firstName.empty() && q.patientName.empty())
    q.patientName = q.lastName + "^" + q.firstName;
  else if (!q.lastName.empty() && q.firstName.empty())
    q.patientName = q.lastName;
  return q;
}
}  // namespace

std::string WorklistPage(int rights) {
  const std::string today = Today();
  std::string html = PageOpening("Worklist Query") + NameFieldClearers() + kHeadEnd + NavBar(rights) +
                     "<form id=\"WLQuery\" name=\"WLQuery\" action=\"display_wlquery\" method=\"post\">\r\n"
                     "<table width=\"90%\">\r\n"
                     "<tr><td><b>PatientID:</b></td>\r\n"
                     "<td><b>Patient Name:</b></td></tr>\r\n"
                     "<tr><td><input name=\"PatientID\" size=15 value=\"\"></td>\r\n"
                     "<td><input id=\"LastName\" name=\"LastName\" size=15 value=\"LAST\" onclick=\"blankLN()\">&nbsp;"
                     "<input id=\"FirstName\" name=\"FirstName\" size=15 value=\"FIRST\" onclick=\"blankFN()\"></td></tr>\r\n"
                     "<tr><td><b>Date From:</b></td><td><b>Date To: </b></td></tr>\r\n"
                     "<tr><td><input id=\"DateFrom\" name=\"DateFrom\" size=15 type=\"date\" value=\"" +
                     today +
                     "\"></td>\r\n"
                     "<td><input id=\"DateTo\" name=\"DateTo\" size=15 type=\"date\" value=\"" +
                     today +
                     "\"></td></tr>\r\n"
                     "<input type=\"hidden\" name=\"Offset\"  value=\"0\">\r\n"
                     "<tr><td><b>Modality</b>&nbsp;<SELECT name=\"Modality\" value=\"Modality\">"
                     "<OPTION SELECTED VALUE=\"0\"> ALL\r\n";
  for (std::size_t i = 0; i < kModalityCodes.size(); ++i)
    html += "<OPTION VALUE=\"" + std::to_string(i + 1) + "\"> " + kModalityCodes[i] + "\r\n";
  return html +
         "</SELECT></td>\r\n"
         "<td><input type=\"submit\" value=\"Query\" name=\"Query\">&nbsp;\r\n"
         "<input type=\"reset\" value=\"Reset\" name=\"Reset\" onclick=\"FormReset()\"></td></tr>\r\n"
         "</table></form>\r\n" +
         ResultBox("result_wlquery", "90%") + FormScript("WLQuery", "result_wlquery");
}

std::string WLQueryCondition(const ParamList& params) {
  const WorklistQuery q = ReadQuery(params);
  std::string condition;
  const auto add = [&](const std::string& text) { condition += (condition.empty() ? " WHERE " : " AND ") + text; };
  if (!q.patientID.empty()) add("PatientID =" + SqlQuote(q.patientID));
  if (!q.patientName.empty()) add("PatientName LIKE " + SqlQuote(q.patientName + "%"));
  if (!q.dateFrom.empty() && !q.dateTo.empty())
    add("SPSDate >= " + SqlQuote(q.dateFrom) + " AND SPSDate <= " + SqlQuote(q.dateTo));
  else if (!q.dateFrom.empty())
    add("SPSDate >= " + SqlQuote(q.dateFrom));
  else if (!q.dateTo.empty())
    add("SPSDate <= " + SqlQuote(q.dateTo));
  // The form sends 0 (all) to 12; any other number filters nothing either.
  if (q.modality >= 1 && q.modality <= static_cast<long long>(kModalityCodes.size()))
    add("Modality = " + SqlQuote(kModalityCodes[q.modality - 1]));
  return condition;
}

std::string WLQueryDisplay(const ParamList& params, int rights) {
  const std::string condition = WLQueryCondition(params);
  SQLdb db("quillat", SQLdb::ReadOnly);
  if (!db.IsOpen) return "<p align=\"center\"><b>Worklist Query Failed: " + HtmlEscape(db.ErrorText) + "</b>";

  // Counting walks an index, not the rows; the page itself is read in index
  // order of PatientName (the accession number breaks ties, so paging neither
  // repeats nor skips an entry).
  std::vector<std::string> count;
  if (db.Query("SELECT COUNT(*) from Worklist " + condition, count) != 0 || count.empty()) {
    WriteLog("ERROR, Worklist Query failed: " + db.ErrorText);
    return "ERROR, Worklist Query failed: " + HtmlEscape(db.ErrorText);
  }
  const long long total = ToIntDef(Piece(count[0], ";", 1), 0);
  if (total == 0) return "<p align=\"center\"><b>There are no results</b>";
  const std::string sql =
      "SELECT AccessionNumber, PatientID, PatientName, PatientBD, PatientSex, ReferringPhysician, SPSDate, SPSTime, "
      "Modality, SPSDescription, SPSStatus from Worklist " +
      condition + " ORDER BY PatientName, AccessionNumber";
  return ResultGrid("wlquery", params, db, sql, total, kWorklistColumns, rights);
}
