#include "web/result_grid.h"

#include <algorithm>

#include "db/sqldb.h"
#include "platform/codepage.h"
#include "service/log.h"
#include "service/text.h"
#include "web/date_display.h"
#include "web/html_escape.h"
#include "web/page_frame.h"

namespace {
// A stored value as the grid shows it.
std::string CellValue(const std::string& stored, const std::string& column) {
  std::string value = Trim(stored);
  // Names arrive from HL7 and the forms as UTF-8; one that is not valid UTF-8
  // is shown byte for byte.
  if (Piece(column, ";", 1) == "PatientName") value = ToCp1252(value);
  const std::string kind = Piece(column, ";", 4);
  if (kind == "DATE") return DicomDateToDisplay(value);
  if (kind == "TIME") return DicomTimeToDisplay(value);
  return value;
}

std::string PagingCell(long long offset, const char* label) {
  return "<TD onclick='FormPage(" + std::to_string(offset) + ")';\" align=\"center\" width=\"25%\"><b>" + label +
         "</b></font></TD>";
}
}  // namespace

std::string ResultGrid(const std::string& name, const ParamList& params, SQLdb& db, const std::string& baseSql,
                       long long totalRows, const GridColumns& columns, int rights) {
  const long long lastPage = (totalRows - 1) / kGridPageSize;
  // Bounded so that the paging arithmetic cannot overflow.
  const long long offset = std::clamp(ToIntDef(FirstParam(params, "Offset"), 0), 0LL, 1LL << 40);

  // Exact values: a row's shown values come back as the keys of Edit and Delete.
  TextRows rows;
  if (db.QueryValues(baseSql + " LIMIT " + std::to_string(kGridPageSize) + " OFFSET " + std::to_string(offset), rows) !=
      0) {
    WriteLog("Study Query Failed: " + db.ErrorText);
    return "<p align=\"center\"><b>Study Query Failed: " + HtmlEscape(db.ErrorText) + "</b>";
  }

  std::string html = "<form id=\"querypage\" name=\"querypage\" action=\"form_" + HtmlEscape(name) +
                     "\" method=\"post\"><table width=\"100%\">\r\n<tr align=\"center\"><td>&nbsp;</td>\r\n";
  for (const auto& column : columns) html += "<td><b>" + HtmlEscape(Piece(column, ";", 2)) + "</b></td>\r\n";
  html += "</tr>\r\n";
  for (std::size_t r = 0; r < rows.Count(); ++r) {
    html += "<tr align=\"center\"><td><INPUT TYPE=CHECKBOX NAME=\"CHECK\"></td>\r\n";
    for (std::size_t j = 0; j < columns.size() && j < rows.Columns(); ++j)
      html += "<td><INPUT TYPE=\"TEXT\" NAME=\"" + HtmlEscape(Piece(columns[j], ";", 1)) + "\" SIZE=\"" +
              HtmlEscape(Piece(columns[j], ";", 3)) + "\" VALUE=\"" +
              HtmlEscape(CellValue(std::string(rows.Value(r, j)), columns[j])) + "\"></td>\r\n";
    html += "</tr>\r\n";
  }
  html +=
      "</table><TABLE WIDTH=\"100%\" class=\"hoverTable\"><TR>"
      "<td align=\"center\" width=\"15%\"><input type=\"submit\" value=\"Edit\" name=\"Edit\"></td>\r\n";
  if (IsAdmin(rights))
    html += "<td align=\"center\" width=\"15%\"><input type=\"submit\" value=\"Delete\" name=\"Delete\"></td>\r\n";
  const long long previous = std::max(0LL, offset - kGridPageSize);
  const long long next = std::min(offset + kGridPageSize, kGridPageSize * lastPage);
  html += PagingCell(previous, "Previous") + PagingCell(next, "Next");
  html += "<TD align=\"center\" width=\"20%\">Page " + std::to_string(offset / kGridPageSize + 1) + "/" +
          std::to_string(lastPage + 1) + "</TD></TR></TABLE></form>";
  return html;
}
