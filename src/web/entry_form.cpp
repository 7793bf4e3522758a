#include "web/entry_form.h"

#include <vector>

#include "db/entry_choices.h"
#include "db/sqldb.h"
#include "service/log.h"
#include "service/text.h"
#include "web/form_widgets.h"
#include "web/html_escape.h"

namespace tarvelin {

namespace {
constexpr const char* kStatuses[] = {"SCHEDULED", "IN PROGRESS", "COMPLETED", "DISCONTINUED"};

struct Required {
  const char* id;  // the control the error links to
  const char* label;
  std::string EntryFormValues::*field;
  bool addOnly;
};

const Required kRequired[] = {
    {"PatientID", "Patient ID", &EntryFormValues::PatientID, false},
    {"LastName", "Family name", &EntryFormValues::LastName, false},
    {"PatientBD", "Birth date", &EntryFormValues::BirthDate, true},
    {"PatientSex", "Sex", &EntryFormValues::Sex, true},
    {"Modality", "Modality", &EntryFormValues::Modality, false},
    {"StartDate", "Start date", &EntryFormValues::StartDate, false},
    {"HOUR", "Start time", &EntryFormValues::StartTime, false},
};

bool IsRequired(const char* id, EntryFormKind kind) {
  for (const auto& r : kRequired)
    if (std::string(r.id) == id) return !r.addOnly || kind == EntryFormKind::Add;
  return false;
}

// "<option>" lines for `choices` after an empty one, with `current`
// selected; a non-empty current value the choices lack is offered first, so
// saving an unchanged form never replaces it with another choice.
std::string ChoiceOptions(std::vector<std::string> choices, const std::string& current, const char* emptyLabel) {
  bool found = false;
  for (const auto& choice : choices) found = found || choice == current;
  if (!found && !current.empty()) choices.insert(choices.begin(), current);
  std::string html = std::string("<option value=\"\">") + emptyLabel + "</option>\r\n";
  for (const auto& choice : choices)
    html += "<option value=\"" + HtmlEscape(choice) + "\"" + (choice == current ? " selected" : "") + ">" +
            HtmlEscape(choice) + "</option>\r\n";
  return html;
}

// A selector with the id `id` and the name `name` of `choices`, or `fallback` when there are none.
std::string SelectOrInput(const std::string& id, const std::string& name, const std::vector<std::string>& choices,
                          const std::string& current, const std::string& fallback) {
  if (choices.empty()) return fallback;
  return "<select id=\"" + id + "\" name=\"" + name + "\">\r\n" + ChoiceOptions(choices, current, "(none)") +
         "</select>\r\n";
}

std::string TextInput(const std::string& id, const std::string& name, const std::string& value) {
  return "<input id=\"" + id + "\" name=\"" + name + "\" size=\"30\" value=\"" + HtmlEscape(value) + "\">";
}

std::string Row(const char* id, const std::string& label, const std::string& control, EntryFormKind kind) {
  const bool required = IsRequired(id, kind);
  return std::string("<tr><th scope=\"row\"><label for=\"") + id + "\">" + label +
         (required ? " <span class=\"required\" aria-hidden=\"true\">*</span>" : "") + "</label></th>\r\n<td>" +
         control + "</td></tr>\r\n";
}

// ` required` for a required control.
std::string RequiredMark(const char* id, EntryFormKind kind) { return IsRequired(id, kind) ? " required" : ""; }
}  // namespace

std::vector<std::string> EntryFormErrors(const EntryFormValues& values, EntryFormKind kind) {
  std::vector<std::string> errors;
  for (const auto& r : kRequired)
    if ((!r.addOnly || kind == EntryFormKind::Add) && Trim(values.*r.field).empty())
      errors.push_back(std::string(r.label) + " is required");
  return errors;
}

EntryFormValues PostedEntryForm(const ParamList& params) {
  const EntryFields form = ReadEntryFields(params, true);
  const auto inputDate = [](const std::string& dicom) {
    return dicom.size() == 8 ? dicom.substr(0, 4) + "-" + dicom.substr(4, 2) + "-" + dicom.substr(6, 2) : dicom;
  };
  EntryFormValues v;
  v.PatientID = form.Entry.PatientID;
  v.LastName = form.LastName;
  v.FirstName = form.FirstName;
  v.BirthDate = inputDate(form.Entry.PatientBD);
  v.Sex = form.Entry.PatientSex;
  v.Modality = form.Entry.Modality;
  v.ReferringPhysician = form.Entry.ReferringPhysician;
  v.ProcedureDescription = form.Entry.SPSDescription;
  v.StartDate = inputDate(form.Entry.SPSDate);
  v.StartTime = form.Hour.empty() || form.Minutes.empty() ? "" : form.Hour + ":" + form.Minutes;
  v.Status = form.Entry.SPSStatus;
  return v;
}

std::string ErrorSummary(const std::vector<std::string>& errors) {
  if (errors.empty()) return "";
  std::string html = "<div class=\"errors\" role=\"alert\"><p>Please correct:</p><ul>\r\n";
  for (const auto& error : errors) html += "<li>" + HtmlEscape(error) + "</li>\r\n";
  return html + "</ul></div>\r\n";
}

std::string EntryForm(const EntryFormValues& v, EntryFormKind kind) {
  const std::string descriptionModality = v.Modality.empty() ? "CR" : v.Modality;
  std::string html = "<table class=\"form\">\r\n";
  html += Row("PatientID", "Patient ID",
              "<input id=\"PatientID\" name=\"PatientID\" size=\"20\" value=\"" + HtmlEscape(v.PatientID) + "\"" +
                  RequiredMark("PatientID", kind) + ">",
              kind);
  html += Row("LastName", "Family name",
              "<input id=\"LastName\" name=\"LastName\" size=\"20\" placeholder=\"LAST\" value=\"" +
                  HtmlEscape(v.LastName) + "\"" + RequiredMark("LastName", kind) + ">",
              kind);
  html += Row("FirstName", "Given name",
              "<input id=\"FirstName\" name=\"FirstName\" size=\"20\" placeholder=\"FIRST\" value=\"" +
                  HtmlEscape(v.FirstName) + "\">",
              kind);
  html += Row("PatientBD", "Birth date",
              "<input id=\"PatientBD\" name=\"PatientBD\" type=\"date\" value=\"" + HtmlEscape(v.BirthDate) + "\"" +
                  RequiredMark("PatientBD", kind) + ">",
              kind);
  std::string sex = "<select id=\"PatientSex\" name=\"PatientSex\"" + RequiredMark("PatientSex", kind) + ">" +
                    "<option value=\"\">(not given)</option>";
  for (const auto& [code, label] : {std::pair{"M", "Male"}, {"F", "Female"}, {"O", "Other"}})
    sex += std::string("<option value=\"") + code + "\"" + (v.Sex == code ? " selected" : "") + ">" + label +
           "</option>";
  html += Row("PatientSex", "Sex", sex + "</select>", kind);
  html += Row("Modality", "Modality", ModalitySelect(v.Modality), kind);
  html += Row("ReferringPhysician", "Referring physician",
              ReferrerSelect(v.ReferringPhysician), kind);
  html += Row("ProcedureDescription", "Procedure description",
              "<div id=\"ProcDescription\">" + DescriptionSelect(descriptionModality, v.ProcedureDescription) +
                  "</div>",
              kind);
  html += Row("StartDate", "Start date",
              "<input id=\"StartDate\" name=\"StartDate\" type=\"date\" value=\"" + HtmlEscape(v.StartDate) + "\"" +
                  RequiredMark("StartDate", kind) + ">",
              kind);
  html += Row("HOUR", "Start time", TimeSelect(v.StartTime, kind == EntryFormKind::Edit), kind);
  std::string status = "<select id=\"Status\" name=\"Status\">";
  const std::string current = v.Status.empty() ? "SCHEDULED" : v.Status;
  bool listed = false;
  for (const char* s : kStatuses) {
    listed = listed || current == s;
    status += std::string("<option") + (current == s ? " selected" : "") + ">" + s + "</option>";
  }
  // A status outside the four is kept as it is.
  if (!listed) status += "<option selected>" + HtmlEscape(current) + "</option>";
  html += Row("Status", "Status", status + "</select>", kind);
  return html + "</table>\r\n";
}

std::string ReferrerSelect(const std::string& current) {
  std::vector<std::string> names;
  SQLdb db("quillat", SQLdb::ReadOnly);
  if (db.IsOpen && !ReadReferrerNames(db, names)) WriteLog("ERROR, ReferringPhysician, " + db.ErrorText);
  return SelectOrInput("ReferringPhysician", "ReferringPhysician", names, current,
                       TextInput("ReferringPhysician", "ReferringPysician", current));
}

std::string DescriptionSelect(const std::string& modality, const std::string& current) {
  std::vector<std::string> descriptions;
  SQLdb db("quillat", SQLdb::ReadOnly);
  if (db.IsOpen && !ReadStudyDescriptions(db, modality, descriptions))
    WriteLog("ERROR, ProcedureDescription, " + db.ErrorText);
  return SelectOrInput("ProcedureDescription", "ProcedureDescription", descriptions, current,
                       TextInput("ProcedureDescription", "ProcedureDescription", current));
}

std::string ProcDescriptionPage(const ParamList& params) {
  std::string modality = "CR";
  for (const auto& param : params)
    if (ParamName(param) == "Modality") modality = ParamValue(param);
  return DescriptionSelect(modality, "");
}

}  // namespace tarvelin
