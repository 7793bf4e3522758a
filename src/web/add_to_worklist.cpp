#include "web/add_to_worklist.h"

#include <cstdio>

#include "db/sqldb.h"
#include "db/worklist_listing.h"
#include "platform/clock.h"
#include "service/log.h"
#include "service/settings.h"
#include "web/date_display.h"
#include "web/entry_audit.h"
#include "web/entry_form.h"
#include "web/entry_request.h"
#include "web/form_widgets.h"
#include "web/html_escape.h"
#include "web/page_frame.h"
#include "web/url_encode.h"
#include "web/write_refusal.h"

namespace tarvelin {

namespace {
constexpr const char* kFormMark = "<input type=\"hidden\" name=\"Form\" value=\"add\">\r\n";

std::string Today() {
  const std::tm t = LocalTime(Now());
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &t);
  return text;
}

std::string DefaultModalityCode() {
  const unsigned index = ServerSettings.DefaultModality;
  return index < kModalityCodes.size() ? kModalityCodes[index] : "";
}

std::string AddForm(const PageRequest& r, const EntryFormValues& values, const std::string& above,
                    const std::string& extraFields = "", const char* submitLabel = "Submit") {
  return PageStart("Add to Worklist", r.rights) + above +
         "<form accept-charset=\"UTF-8\" class=\"entry\" action=\"wlprocess\" method=\"post\" novalidate>\r\n" + TokenField(r.token) +
         kFormMark + extraFields + EntryForm(values, EntryFormKind::Add) +
         "<p class=\"actions\"><button type=\"submit\" name=\"Submit\" value=\"Submit\">" + submitLabel +
         "</button> <a href=\"worklist\">Cancel</a></p></form>\r\n" + PageFooter();
}

// Adds the entry; the page line telling how it went ("" when the database did not open).
std::string InsertEntry(EntryRequest& request, bool& added) {
  const WorklistDB& entry = request.Entry;
  WriteLog("INFO, Adding new entry for " + entry.PatientID + ", " + entry.PatientName);
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) return "";  // the wrapper logged why
  // A number made for the same patient and schedule in the same minute (a
  // second entry the user confirmed) is taken: make another.
  constexpr int kAttempts = 10;
  WriteResult result = WriteResult::AlreadyExists;
  const EntryRequest asSent = request;
  for (int attempt = 0; attempt < kAttempts && result == WriteResult::AlreadyExists; ++attempt) {
    request = asSent;
    request.GenerateValues(attempt);
    result = request.Entry.Insert(db);
    if (request.AccessionGiven()) break;
  }
  if (result != WriteResult::Done) {
    const std::string reason = WriteRefusal(result, entry.AccessionNumber, entry.SPSStatus, db.ErrorText);
    WriteLog("ERROR, adding procedure: " + reason);
    return "ERROR adding procedure: " + HtmlEscape(reason);
  }
  added = true;
  AuditEntryChange("entry-create", AuditAction::Create, WorklistDB(), StoredEntry(db, request.Entry.AccessionNumber));
  WriteLog("INFO, WorklistProcess, added entry for Patient=" + entry.PatientName +
           ", ProcedureDescription=" + entry.SPSDescription);
  return "Added Worklist entry for Patient=" + HtmlEscape(entry.PatientName) + "<br>\r\n";
}

// Another system's request: the answer it has always had.
PageResult IntegratorAdd(const PageRequest& r) {
  std::string page = PageStart("Worklist Process", r.rights);
  EntryRequest request(r.list);
  if (const std::string missing = request.MissingField(); !missing.empty()) {
    page += "<b>ERROR, " + missing + " is empty</b><br>\r\n";
    WriteLog("ERROR, WorklistProcess, " + missing + " is empty");
  } else {
    bool added = false;
    page += InsertEntry(request, added);
  }
  return page + PageFooter();
}

std::string DuplicateQuestion(const std::vector<std::string>& accessions) {
  std::string list;
  for (const auto& accession : accessions) list += (list.empty() ? "" : ", ") + accession;
  return "<div class=\"question\" role=\"alert\"><p>This patient already has an entry for this procedure on this day "
         "(" + HtmlEscape(list) + "). Add another entry?</p></div>\r\n";
}
}  // namespace

PageResult AddToWorklistPage(const PageRequest& r) {
  EntryFormValues values;
  values.StartDate = Today();
  values.Modality = DefaultModalityCode();
  return AddForm(r, values, "");
}

PageResult WorklistProcess(const PageRequest& r) {
  if (FirstParam(r.list, "Form") != "add") return IntegratorAdd(r);
  const EntryFormValues values = PostedEntryForm(r.list);
  if (const auto errors = EntryFormErrors(values, EntryFormKind::Add); !errors.empty())
    return AddForm(r, values, ErrorSummary(errors));
  EntryRequest request(r.list);
  if (FirstParam(r.list, "ConfirmDuplicate") != "yes") {
    std::vector<std::string> same;
    SQLdb db("quillat", SQLdb::ReadOnly);
    if (db.IsOpen && SameDayEntries(db, request.Entry, same) && !same.empty())
      return AddForm(r, values, DuplicateQuestion(same),
                     "<input type=\"hidden\" name=\"ConfirmDuplicate\" value=\"yes\">\r\n", "Add another entry");
  }
  bool added = false;
  const std::string outcome = InsertEntry(request, added);
  if (!added)
    return AddForm(r, values, "<p class=\"error\" role=\"alert\"><b>" + (outcome.empty() ? "ERROR, database not available" : outcome) + "</b></p>\r\n");
  const std::string day = DicomDateToDisplay(request.Entry.SPSDate);
  return PageResult::Redirect("worklist?DateFrom=" + UrlEncode(day) + "&DateTo=" + UrlEncode(day) +
                              "&msg=added&key=" + UrlEncode(request.Entry.AccessionNumber));
}

}  // namespace tarvelin
