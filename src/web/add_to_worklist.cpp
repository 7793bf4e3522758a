#include "web/add_to_worklist.h"

#include <cstdio>

#include "db/sqldb.h"
#include "platform/clock.h"
#include "service/log.h"
#include "service/settings.h"
#include "web/entry_form.h"
#include "web/entry_request.h"
#include "web/form_widgets.h"
#include "web/html_escape.h"
#include "web/page_frame.h"

namespace {
// The current local date as a browser's date input writes it.
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

// Adds the entry; the page line telling how it went.
std::string InsertEntry(EntryRequest& request) {
  const WorklistDB& entry = request.Entry;
  WriteLog("INFO, Adding new entry for " + entry.PatientID + ", " + entry.PatientName);
  request.GenerateValues();
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) return "";  // the wrapper logged why
  if (request.Entry.Insert(db) != 0) {
    // A duplicate accession number is no SQLite error: say what it is.
    const std::string reason = db.ErrorText.empty()
                                   ? "Accession Number already used: " + entry.AccessionNumber
                                   : db.ErrorText;
    WriteLog("ERROR, adding procedure: " + reason);
    return "ERROR adding procedure: " + HtmlEscape(reason);
  }
  WriteLog("INFO, WorklistProcess, added entry for Patient=" + entry.PatientName +
           ", ProcedureDescription=" + entry.SPSDescription);
  return "Added Worklist entry for Patient=" + HtmlEscape(entry.PatientName) + "<br>\r\n";
}
}  // namespace

std::string AddToWorklistPage(int rights) {
  EntryFormValues values;
  values.LastName = "LAST";
  values.FirstName = "FIRST";
  values.BirthDate = values.StartDate = Today();
  values.Modality = DefaultModalityCode();
  return PageOpening("Add to Worklist") + NameFieldClearers() + ModalityChangeScript() + kHeadEnd +
         NavBar(rights) + "<form name=\"WLProcess\" action=\"wlprocess\" method=\"post\">\r\n" + EntryForm(values) +
         "<input type=\"submit\" value=\"Submit\" name=\"Submit\">\r\n"
         "<input type=\"reset\" value=\"Reset\" name=\"Reset\"></form>\r\n" +
         PageFooter();
}

std::string WorklistProcess(const ParamList& list, int rights) {
  std::string page = PageOpening("Worklist Process") + kHeadEnd + NavBar(rights);
  EntryRequest request(list);
  if (const std::string missing = request.MissingField(); !missing.empty()) {
    page += "<b>ERROR, " + missing + " is empty</b><br>\r\n";
    WriteLog("ERROR, WorklistProcess, " + missing + " is empty");
  } else {
    page += InsertEntry(request);
  }
  return page + PageFooter();
}
