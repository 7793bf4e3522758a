#include "web/worklist_edit_pages.h"

#include "db/sql_transaction.h"
#include "db/sqldb.h"
#include "db/worklist_edit.h"
#include "db/worklist_listing.h"
#include "db/worklistdb.h"
#include "service/log.h"
#include "service/text.h"
#include "web/date_display.h"
#include "web/entry_audit.h"
#include "web/entry_fields.h"
#include "web/entry_form.h"
#include "web/html_escape.h"
#include "web/list_query.h"
#include "web/page_frame.h"
#include "web/url_encode.h"
#include "web/web_rights.h"
#include "web/write_refusal.h"

namespace tarvelin {

namespace {
// What the edit form carries besides the fields: the entry's key, what it
// looked like when shown, and the list to go back to.
struct EditContext {
  std::string accession, fingerprint, loadedStatus, storedTime, listQuery;
};

// Logs a failed save and returns the page's line for it.
std::string LoggedErrorText(const std::string& reason) {
  WriteLog("ERROR, WLQueryEdit, updating entry in Worklist: " + reason);
  return "ERROR, WLQueryEdit, updating entry in Worklist: " + reason;
}

std::string ListAddress(const std::string& listQuery, const std::string& message) {
  const std::string query = SafeQueryText(listQuery);
  return "worklist?" + query + (query.empty() ? "" : "&") + message;
}

EntryFormValues ValuesOf(const WorklistDB& stored) {
  const auto shown = [](const std::string& value) { return Trim(value); };
  const std::string name = shown(stored.PatientName);
  const auto caret = name.find('^');
  EntryFormValues v;
  v.PatientID = shown(stored.PatientID);
  v.LastName = name.substr(0, caret);
  v.FirstName = caret == std::string::npos ? "" : name.substr(caret + 1);  // all further components too
  v.BirthDate = DicomDateToDisplay(Trim(stored.PatientBD));
  v.Sex = shown(stored.PatientSex);
  v.Modality = shown(stored.Modality);
  v.ReferringPhysician = shown(stored.ReferringPhysician);
  v.ProcedureDescription = shown(stored.SPSDescription);
  v.StartDate = DicomDateToDisplay(Trim(stored.SPSDate));
  v.StartTime = DicomTimeToDisplay(Trim(stored.SPSTime));
  v.Status = Trim(stored.SPSStatus);
  return v;
}

EditContext ContextOf(const WorklistDB& stored, const std::string& listQuery) {
  return {stored.AccessionNumber, EntryFingerprint(stored), Trim(stored.SPSStatus), stored.SPSTime, listQuery};
}

PageResult EditPage(const PageRequest& r, const EntryFormValues& values, const EditContext& c,
                    const std::string& above) {
  std::string page = PageStart("Edit entry " + c.accession, r.rights) + above +
                     "<form accept-charset=\"UTF-8\" class=\"entry\" action=\"edit_wlquery\" method=\"post\" novalidate>\r\n" +
                     TokenField(r.token) + HiddenField("Form", "edit") + HiddenField("AccessionNumber", c.accession) +
                     HiddenField("Fingerprint", c.fingerprint) + HiddenField("LoadedStatus", c.loadedStatus) +
                     HiddenField("StoredStartTime", c.storedTime) + HiddenField("ShownStartTime", values.StartTime) +
                     HiddenField("ListQuery", c.listQuery) + EntryForm(values, EntryFormKind::Edit) +
                     "<p class=\"actions\"><button type=\"submit\" name=\"Save\" value=\"Save\">Save</button> "
                     "<a href=\"" + HtmlEscape(ListAddress(c.listQuery, "")) + "\">Cancel</a></p></form>\r\n";
  if (Allowed(WebAction::Delete, r.rights))
    page += "<form accept-charset=\"UTF-8\" action=\"form_wlquery\" method=\"post\">\r\n" + TokenField(r.token) +
            HiddenField("AccessionNumber", c.accession) + HiddenField("ListQuery", c.listQuery) +
            "<p><button type=\"submit\" name=\"Delete\" value=\"Delete\" class=\"danger\">Delete this entry</button>"
            "</p></form>\r\n";
  return page + PageFooter();
}

std::string ErrorPage(const PageRequest& r, const std::string& title, const std::string& error) {
  return PageStart(title, r.rights) + "<p class=\"error\" role=\"alert\"><b>" + HtmlEscape(error) + "</b></p>\r\n" +
         "<p><a href=\"" + HtmlEscape(ListAddress(FirstParam(r.http.Params, "ListQuery"), "")) +
         "\">Back to the list</a></p>\r\n" + PageFooter();
}

std::string EntryLine(const WorklistDB& e) {
  return "<li>" + HtmlEscape(e.AccessionNumber) + ": " + HtmlEscape(e.PatientName) + ", " +
         DateTimeHtml(e.SPSDate, e.SPSTime) + ", " +
         HtmlEscape(e.Modality) + " " + HtmlEscape(e.SPSDescription) + ", " +
         HtmlEscape(e.SPSStatus) + "</li>\r\n";
}

std::string CountOf(std::size_t n) { return n == 1 ? "1 entry" : std::to_string(n) + " entries"; }

PageResult ConfirmDelete(const PageRequest& r, const std::vector<std::string>& keys) {
  std::vector<WorklistDB> found;
  SQLdb db("quillat", SQLdb::ReadOnly);
  for (const auto& key : keys)
    if (WorklistDB e; db.IsOpen && FindEntry(db, key, e)) found.push_back(e);
  const std::string listQuery = FirstParam(r.http.Params, "ListQuery");
  if (found.empty()) return ErrorPage(r, "Delete entries", "ERROR, no entries selected");
  std::string page = PageStart("Delete " + CountOf(found.size()) + "?", r.rights) + "<ul class=\"entries\">\r\n";
  std::string hidden;
  for (const auto& e : found) {
    page += EntryLine(e);
    hidden += HiddenField("AccessionNumber", e.AccessionNumber);
  }
  return page + "</ul>\r\n<form accept-charset=\"UTF-8\" action=\"form_wlquery\" method=\"post\">\r\n" + TokenField(r.token) + hidden +
         HiddenField("ListQuery", listQuery) + HiddenField("Confirm", "yes") +
         "<p class=\"actions\"><button type=\"submit\" name=\"Delete\" value=\"Delete\" class=\"danger\">Delete " +
         CountOf(found.size()) + "</button> <a href=\"" + HtmlEscape(ListAddress(listQuery, "")) +
         "\">Cancel</a></p></form>\r\n" + PageFooter();
}

PageResult DeleteEntries(const PageRequest& r, const std::vector<std::string>& keys) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) return ErrorPage(r, "Delete entries", "ERROR, deleting entry from Worklist, " + db.ErrorText);
  std::size_t deleted = 0;
  std::vector<WorklistDB> gone;  // audited once the deletion is committed
  SQLTransaction transaction(db);
  for (const auto& key : keys) {
    WorklistDB entry = StoredEntry(db, key);
    entry.AccessionNumber = key;
    switch (entry.Delete(db)) {
      case WriteResult::Done:
        ++deleted;
        gone.push_back(entry);
        WriteLog("INFO, User=" + r.user + " deleted the worklist entry AccessionNumber=" + key);
        break;
      case WriteResult::NotFound:  // deleted meanwhile: counted below when nothing is left to delete
        break;
      case WriteResult::Invalid:  // an empty key
      case WriteResult::Failed:
      default:  // no other result comes from a delete without a required status
        WriteLog("ERROR, Delete failed for database Worklist, " + db.ErrorText);
        return ErrorPage(r, "Delete entries", "ERROR, deleting entry from Worklist, " + db.ErrorText);
    }
  }
  if (!transaction.Commit())
    return ErrorPage(r, "Delete entries", "ERROR, deleting entry from Worklist, " + db.ErrorText);
  for (const WorklistDB& entry : gone) AuditEntryChange("entry-delete", AuditAction::Delete, entry, WorklistDB());
  if (deleted == 0) {
    WriteLog("ERROR, Delete failed for database Worklist, no entries deleted");
    return ErrorPage(r, "Delete entries", "ERROR, no entries deleted: they were deleted meanwhile");
  }
  return PageResult::Redirect(ListAddress(FirstParam(r.http.Params, "ListQuery"),
                                          "msg=deleted&n=" + std::to_string(deleted)));
}

// Our edit form's values as the entry to save: every editable field, empty ones included.
WorklistDB EditedEntry(const ParamList& params) {
  EntryFields form = ReadEntryFields(params, true);
  WorklistDB entry = form.Entry;
  entry.PatientName = form.FirstName.empty() ? form.LastName : form.LastName + "^" + form.FirstName;
  // The selectors show hh:mm of a time that may hold seconds; left as shown,
  // the stored time stays exactly as it was.
  const std::string shown = form.Hour + ":" + form.Minutes;
  entry.SPSTime = shown == FirstParam(params, "ShownStartTime", "-") ? FirstParam(params, "StoredStartTime")
                                                                      : form.Hour + form.Minutes;
  return entry;
}

PageResult SaveForm(const PageRequest& r) {
  const ParamList& params = r.http.Params;
  EntryFormValues values = PostedEntryForm(params);
  EditContext c{FirstParam(params, "AccessionNumber"), FirstParam(params, "Fingerprint"),
                FirstParam(params, "LoadedStatus"), FirstParam(params, "StoredStartTime"),
                FirstParam(params, "ListQuery")};
  if (const auto errors = EntryFormErrors(values, EntryFormKind::Edit); !errors.empty())
    return EditPage(r, values, c, ErrorSummary(errors));
  EntryEdit edit;
  edit.Entry = EditedEntry(params);
  edit.Entry.AccessionNumber = c.accession;
  edit.Fingerprint = c.fingerprint;
  edit.NewStatus = values.Status == c.loadedStatus ? "" : values.Status;
  edit.Override = Allowed(WebAction::MoveStatusBack, r.rights);
  edit.User = r.user;
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) {
    WriteLog("ERROR, WLQueryEdit, Couldn't open database: Worklist");
    return ErrorPage(r, "Edit entry", "ERROR, WLQueryEdit, Couldn't open database: Worklist");
  }
  const WorklistDB before = StoredEntry(db, c.accession);
  switch (SaveEditedEntry(db, edit)) {
    case EntrySave::Saved:
      AuditEntryChange("entry-edit", AuditAction::Update, before, StoredEntry(db, c.accession));
      return PageResult::Redirect(ListAddress(c.listQuery, "msg=updated&key=" + UrlEncode(c.accession)));
    case EntrySave::NotFound:
      return ErrorPage(r, "Edit entry", LoggedErrorText("no entry with Accession Number=" + c.accession));
    case EntrySave::ChangedMeanwhile: {
      // Show what is stored now beside the user's typing; saving again is a deliberate choice.
      WorklistDB now;
      if (!FindEntry(db, c.accession, now)) return ErrorPage(r, "Edit entry", "ERROR, the entry was deleted meanwhile");
      const EditContext fresh = ContextOf(now, c.listQuery);
      values.Status = fresh.loadedStatus;
      return EditPage(r, values, fresh,
                      ErrorSummary({"This entry was changed by someone else (or the modality) while you edited it; "
                                    "it is now " + fresh.loadedStatus + ". Check your changes and save again."}));
    }
    case EntrySave::StatusRefused:
      WriteLog("ERROR, WLQueryEdit, User=" + r.user + ", AccessionNumber=" + c.accession + ", status cannot go back from " +
               c.loadedStatus + " to " + values.Status);
      return EditPage(r, values, c,
                      ErrorSummary({"Status cannot go back from " + c.loadedStatus + " to " + values.Status +
                                    " (only an administrator may do that)"}));
    case EntrySave::Failed:
      break;
  }
  return ErrorPage(r, "Edit entry", LoggedErrorText(db.ErrorText));
}

// Another system's edit: every non-empty field given is written.
PageResult IntegratorEdit(const PageRequest& r) {
  const ParamList& params = r.http.Params;
  std::string page = PageStart("Edit entry in Worklist", r.rights);
  if (params.empty() || ParamValue(params.back()) != "Save") return page + PageFooter();
  EntryFields form = ReadEntryFields(params, true);
  WorklistDB& entry = form.Entry;
  if (!form.LastName.empty() || !form.FirstName.empty())
    entry.PatientName = form.FirstName.empty() ? form.LastName : form.LastName + "^" + form.FirstName;
  if (entry.SPSTime.empty() && !(form.Hour + form.Minutes).empty()) entry.SPSTime = form.Hour + form.Minutes;
  if (entry.AccessionNumber.empty()) {
    WriteLog("ERROR, WLQueryEdit, Accession Number is empty");
    return page + PageFooter();
  }
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) {
    WriteLog("ERROR, WLQueryEdit, Couldn't open database: Worklist");
    return page + "<p><b>ERROR, WLQueryEdit, Couldn't open database: Worklist</b></p>" + PageFooter();
  }
  const WorklistDB before = StoredEntry(db, entry.AccessionNumber);
  const WriteResult result = entry.Update(db, StatusWriter::Administrator(r.user));
  if (result == WriteResult::Done) {
    AuditEntryChange("entry-edit", AuditAction::Update, before, StoredEntry(db, entry.AccessionNumber));
    page += "<b>Updated entry in Worklist</b>\r\n";
  } else {
    page += LoggedError("ERROR, WLQueryEdit, updating entry in Worklist: ",
                        WriteRefusal(result, entry.AccessionNumber, entry.SPSStatus, db.ErrorText));
  }
  return page + PageFooter();
}
}  // namespace

PageResult WLQueryForm(const PageRequest& r) {
  const ParamList& params = r.http.Params;
  const std::vector<std::string> keys = AllParams(params, "AccessionNumber");
  if (r.IsPost() && !FirstParam(params, "Delete").empty()) {
    if (!Allowed(WebAction::Delete, r.rights)) {
      // The list offers Delete only to ADMIN users; a Delete sent anyway is refused.
      WriteLog("ERROR, WLQueryForm, User=" + r.user + " has no rights to delete worklist entries");
      return ErrorPage(r, "Delete entries", "ERROR, deleting entries needs ADMIN rights");
    }
    if (keys.empty()) return ErrorPage(r, "Delete entries", "ERROR, no entries selected");
    return FirstParam(params, "Confirm") == "yes" ? DeleteEntries(r, keys) : ConfirmDelete(r, keys);
  }
  if (keys.empty()) return ErrorPage(r, "Edit entry", "ERROR, no entries selected");
  SQLdb db("quillat", SQLdb::ReadOnly);
  WorklistDB stored;
  if (!db.IsOpen || !FindEntry(db, keys.front(), stored))
    return ErrorPage(r, "Edit entry", "ERROR, no entry with Accession Number=" + keys.front());
  return EditPage(r, ValuesOf(stored), ContextOf(stored, FirstParam(params, "ListQuery")), "");
}

PageResult WLQueryEdit(const PageRequest& r) {
  if (FirstParam(r.http.Params, "Form") == "edit") return SaveForm(r);
  return IntegratorEdit(r);
}

PageResult WLSetStatus(const PageRequest& r) {
  std::string page = PageStart("Worklist Set Status", r.rights);
  WorklistDB entry;
  std::string status;
  for (const auto& param : r.http.Params) {
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
    // Another system's status is an explicit change by the user it logs in as.
    const WorklistDB before = StoredEntry(db, entry.AccessionNumber);
    switch (const WriteResult result = entry.ChangeStatus(db, status, StatusWriter::Administrator(r.user))) {
      case WriteResult::Done:
        AuditEntryChange("entry-status", AuditAction::Update, before, StoredEntry(db, entry.AccessionNumber));
        [[fallthrough]];
      case WriteResult::AlreadySo:
        page += " Updated Worklist entry for Accession Number=" + HtmlEscape(entry.AccessionNumber) + "<br>\r\n";
        break;
      default: {
        const std::string reason = WriteRefusal(result, entry.AccessionNumber, status, db.ErrorText);
        WriteLog("ERROR, WLSetStatus, Updating status: " + reason);
        page += "ERROR, WLSetStatus, Updating status: " + HtmlEscape(reason);
        break;
      }
    }
  }
  return page + PageFooter();
}

}  // namespace tarvelin
