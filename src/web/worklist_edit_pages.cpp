#include "web/worklist_edit_pages.h"

#include "db/sqldb.h"
#include "db/worklistdb.h"
#include "service/log.h"
#include "service/text.h"
#include "web/date_display.h"
#include "web/entry_form.h"
#include "web/entry_fields.h"
#include "web/grid_rows.h"
#include "web/html_escape.h"
#include "web/page_frame.h"

namespace {
// The edit form's start time as it showed it (hh:mm).
constexpr const char* kShownTime = "ShownStartTime";
// A grid date (display form) as a browser's date input wants it, yyyy-mm-dd.
std::string DateInputValue(const std::string& shown) {
  const std::string date = DisplayDateToDicom(shown);
  if (date.size() != 8) return "";
  return date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2);
}

// The message of a failed write: SQLite's, or what the result code says.
std::string Reason(const SQLdb& db, const std::string& accession) {
  return db.ErrorText.empty() ? "no entry with Accession Number=" + accession : db.ErrorText;
}

std::string EditForm(const GridRow& row) {
  const std::string name = Column(row, "PatientName");
  const auto caret = name.find('^');
  EntryFormValues v;
  v.PatientID = Column(row, "PatientID");
  v.LastName = name.substr(0, caret);
  v.FirstName = caret == std::string::npos ? "" : name.substr(caret + 1);  // all further components too
  v.BirthDate = DateInputValue(Column(row, "PatientBD"));
  v.Sex = Column(row, "PatientSex");
  v.Modality = Column(row, "Modality");
  v.ReferringPhysician = Column(row, "ReferringPhysician");
  v.ProcedureDescription = Column(row, "SPSDescription");
  v.StartDate = DateInputValue(Column(row, "SPSDate"));
  v.StartTime = Column(row, "SPSTime");
  v.Status = Column(row, "SPSStatus");
  return "<form name=\"edwlquery\" action=\"edit_wlquery\" method=\"post\">\r\n"
         "<input type=\"hidden\" value=\"" + HtmlEscape(Column(row, "AccessionNumber")) +
         "\" name=\"AccessionNumber\">\r\n"
         "<input type=\"hidden\" value=\"" + HtmlEscape(v.StartTime) + "\" name=\"" + kShownTime + "\">\r\n" +
         EntryForm(v) + kSaveCancelButtons;
}

std::string DeleteRows(const std::vector<GridRow>& rows) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) return "";
  std::string page;
  for (const auto& row : rows) {
    WorklistDB entry;
    entry.AccessionNumber = Column(row, "AccessionNumber");
    // An entry deleted meanwhile (2) is gone as asked.
    if (entry.Delete(db) == -1) {
      const std::string reason = Reason(db, entry.AccessionNumber);
      page += "<b>ERROR, deleting entry from Worklist, " + HtmlEscape(reason) + "</b>\r\n";
      WriteLog("ERROR, Delete failed for database Worklist, " + reason);
    } else {
      page += "<b>Deleted entry <b>" + HtmlEscape(entry.AccessionNumber) + "</b> from Worklist</b><br>\r\n";
    }
  }
  return page;
}

// The entry as the edit form posts it; only non-empty fields are written.
WorklistDB EditedEntry(const ParamList& params) {
  EntryFields form = ReadEntryFields(params, true);
  WorklistDB& entry = form.Entry;
  // An empty first name adds no "^": an unchanged save of DOE stores DOE.
  if (!form.LastName.empty() || !form.FirstName.empty())
    entry.PatientName = form.FirstName.empty() ? form.LastName : form.LastName + "^" + form.FirstName;
  // The selectors show hh:mm of a time that may hold seconds or be written
  // hhmmss; left as shown, the stored time stays exactly as it was.
  const bool timeAsShown = form.Hour + ":" + form.Minutes == FirstParam(params, kShownTime, "-");
  if (entry.SPSTime.empty() && !(form.Hour + form.Minutes).empty() && !timeAsShown)
    entry.SPSTime = form.Hour + form.Minutes;
  return entry;
}
}  // namespace

std::string WLQueryForm(const ParamList& params, int rights, const std::string& user) {
  const std::string action = PressedButton(params);
  std::string page = PageOpening(action + " WLQuery") + NameFieldClearers() + ModalityChangeScript() + kHeadEnd +
                     NavBar(rights);
  const auto rows = TickedRows(params, "SPSStatus");
  if (action == "Edit") {
    const bool selected = !rows.empty() && !Column(rows[0], "AccessionNumber").empty() &&
                          !Column(rows[0], "PatientID").empty() && !Column(rows[0], "PatientName").empty();
    page += selected ? EditForm(rows[0]) : "ERROR, no entries selected";
  } else if (action == "Delete") {
    if (IsAdmin(rights)) {
      page += DeleteRows(rows);
    } else {
      // The grid offers Delete only to ADMIN users; a Delete sent anyway is refused.
      page += "<b>ERROR, deleting entries needs ADMIN rights</b>\r\n";
      WriteLog("ERROR, WLQueryForm, User=" + user + " has no rights to delete worklist entries");
    }
  }
  return page + PageFooter();
}

std::string WLQueryEdit(const ParamList& params, int rights, const std::string& user) {
  std::string page = PageOpening("Edit entry in Worklist") + kHeadEnd + NavBar(rights);
  if (params.empty() || ParamValue(params.back()) != "Save") return page + PageFooter();
  WorklistDB entry = EditedEntry(params);
  if (entry.AccessionNumber.empty()) {
    WriteLog("ERROR, WLQueryEdit, Accession Number is empty");
    return page + PageFooter();
  }
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) {
    WriteLog("ERROR, WLQueryEdit, Couldn't open database: Worklist");
    return page + "<p align=\"center\"><b>ERROR, WLQueryEdit, Couldn't open database: Worklist</b>" + PageFooter();
  }
  if (entry.Update(db, StatusWriter::Administrator(user)) != 0) {
    page += LoggedError("ERROR, WLQueryEdit, updating entry in Worklist: ", Reason(db, entry.AccessionNumber));
  } else {
    page += "<b>Updated entry in Worklist</b>\r\n";
  }
  return page + PageFooter();
}

std::string WLSetStatus(const ParamList& params, int rights, const std::string& user) {
  std::string page = PageOpening("Worklist Delete") + kHeadEnd + NavBar(rights);
  WorklistDB entry;
  std::string status;
  for (const auto& param : params) {
    const std::string name = ParamName(param);
    if (name == "AccessionNumber") entry.AccessionNumber = ParamValue(param);
    if (name == "SPSStatus") status = ParamValue(param);
  }
  if (entry.AccessionNumber.empty() || status.empty()) {
    // Without a status the entry would silently leave every worklist.
    const std::string error = entry.AccessionNumber.empty() ? "ERROR, Accesion Number is Empty"
                                                            : "ERROR, SPSStatus is Empty";
    WriteLog(error);
    return page + error + PageFooter();
  }
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (db.IsOpen) {
    const StatusChange change = entry.ChangeStatus(db, status, StatusWriter::Administrator(user));
    if (change == StatusChange::Changed || change == StatusChange::AlreadySo) {
      page += " Updated Worklist entry for Accession Number=" + HtmlEscape(entry.AccessionNumber) + "<br>\r\n";
    } else {
      const std::string reason =
          change == StatusChange::Refused ? "not a status: " + status : Reason(db, entry.AccessionNumber);
      WriteLog("ERROR, WLSetStatus, Updating status: " + reason);
      page += "ERROR, WLSetStatus, Updating status: " + HtmlEscape(reason);
    }
  }
  return page + PageFooter();
}
