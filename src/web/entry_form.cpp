#include "web/entry_form.h"

#include <vector>

#include "db/entry_choices.h"
#include "db/sqldb.h"
#include "service/log.h"
#include "web/form_widgets.h"
#include "web/html_escape.h"

namespace {
// "<OPTION SELECTED VALUE="v"> v" lines for `choices`, with `current`
// selected; a non-empty current value the choices lack is offered first, so
// saving an unchanged form never replaces it with another choice.
std::string ChoiceOptions(std::vector<std::string> choices, const std::string& current) {
  bool found = false;
  for (const auto& choice : choices) found = found || choice == current;
  if (!found && !current.empty()) choices.insert(choices.begin(), current);
  std::string html;
  for (const auto& choice : choices)
    html += std::string(choice == current ? "<OPTION SELECTED VALUE=\"" : "<OPTION VALUE=\"") + HtmlEscape(choice) +
            "\"> " + HtmlEscape(choice) + "\r\n";
  return html;
}

// A selector named `name` of `choices`, or `fallback` when there are none.
std::string SelectOrInput(const std::string& name, const std::vector<std::string>& choices,
                          const std::string& current, const std::string& fallback) {
  if (choices.empty()) return fallback;
  return "<SELECT name=\"" + name + "\" value=\"" + name + "\">\r\n" + ChoiceOptions(choices, current) +
         "</SELECT>\r\n";
}

std::string TextInput(const std::string& name, const std::string& value) {
  return "<input name=\"" + name + "\" size=30 value=\"" + HtmlEscape(value) + "\">";
}

int ModalityIndex(const std::string& code) {
  for (std::size_t i = 0; i < kModalityCodes.size(); ++i)
    if (code == kModalityCodes[i]) return static_cast<int>(i);
  return -1;
}

std::string SexOption(const char* code, const char* label, const std::string& sex) {
  return std::string("<OPTION ") + (sex == code ? "SELECTED" : "") + " VALUE=\"" + code + "\"> " + label + "\r\n";
}

std::string StatusOption(const char* status, const std::string& current, bool alwaysSelected) {
  return std::string("<OPTION ") + (current == status ? "SELECTED" : "") + (alwaysSelected ? " SELECTED" : "") +
         " VALUE=\"" + status + "\"> " + status + "\r\n";
}

std::string Row(const std::string& label, const std::string& control) {
  return "<tr><td><b>" + label + "</b></td>\r\n<td>" + control + "</td></tr>\r\n";
}
}  // namespace

std::string EntryForm(const EntryFormValues& v) {
  const std::string lastName = HtmlEscape(v.LastName), firstName = HtmlEscape(v.FirstName);
  const int modalityIndex = ModalityIndex(v.Modality);
  const std::string descriptionModality = modalityIndex < 0 && v.Modality.empty() ? "CR" : v.Modality;
  std::string html = "<table width=\"60%\">\r\n";
  html += Row("Patient ID:", "<input name=\"PatientID\" size=15 value=\"" + HtmlEscape(v.PatientID) + "\">");
  html += Row("Patient Name:", "<input id=\"LastName\" name=\"LastName\" size=15 value=\"" + lastName +
                                   "\" onclick=\"blankLN()\">&nbsp;<input id=\"FirstName\" name=\"FirstName\" "
                                   "size=15 value=\"" + firstName + "\" onclick=\"blankFN()\">");
  html += Row("Patient BirthDate:", "<input id=\"PatientBD\" name=\"PatientBD\" size=15 type=\"date\" value=\"" +
                                        HtmlEscape(v.BirthDate) + "\">");
  html += Row("Patient Sex: ", "<SELECT name=\"PatientSex\" value=\"PatientSex\">\r\n" +
                                   SexOption("M", "Male", v.Sex) + SexOption("F", "Female", v.Sex) +
                                   "<OPTION VALUE=\"O\"> Other\r\n</SELECT>");
  html += Row("Modality", ModalitySelect(modalityIndex, v.Modality));
  html += Row("Referring Pysician:", ReferrerSelect(v.ReferringPhysician));
  html += Row("Procedure Description:", "<div id=\"ProcDescription\">" +
                                            DescriptionSelect({"Modality=" + descriptionModality},
                                                              v.ProcedureDescription) +
                                            "</div>");
  html += Row("Start Date", "<input id=\"StartDate\" name=\"StartDate\" size=15 type=\"date\" value=\"" +
                                HtmlEscape(v.StartDate) + "\">");
  html += Row("Start Time", TimeSelect(v.StartTime, !v.StartTime.empty()));
  html += Row("Status", "<SELECT name=\"Status\" value=\"Status\">" + StatusOption("SCHEDULED", v.Status, true) +
                            StatusOption("COMPLETED", v.Status, false) +
                            StatusOption("DISCONTINUED", v.Status, false) + "</SELECT>");
  return html + "</table>\r\n";
}

std::string ModalityChangeScript() {
  return "<script type=\"text/javascript\">\r\n"
         "function ModalityChange(value) {\r\n"
         "  var request = new XMLHttpRequest();\r\n"
         "  request.onreadystatechange = function () {\r\n"
         "    if (request.readyState == 4 && request.status == 200)\r\n"
         "      document.getElementById(\"ProcDescription\").innerHTML = request.responseText;\r\n"
         "  };\r\n"
         "  request.open(\"GET\", \"proc_description?Modality=\" + encodeURIComponent(value), true);\r\n"
         "  request.send();\r\n"
         "}</script>\r\n";
}

std::string ReferrerSelect(const std::string& current) {
  std::vector<std::string> names;
  SQLdb db("quillat", SQLdb::ReadOnly);
  if (db.IsOpen && !ReadReferrerNames(db, names)) WriteLog("ERROR, ReferringPhysician, " + db.ErrorText);
  return SelectOrInput("ReferringPhysician", names, current, TextInput("ReferringPysician", current));
}

std::string DescriptionSelect(const ParamList& params, const std::string& current) {
  std::string modality = "CR";
  for (const auto& param : params)
    if (ParamName(param) == "Modality") modality = ParamValue(param);
  std::vector<std::string> descriptions;
  SQLdb db("quillat", SQLdb::ReadOnly);
  if (db.IsOpen && !ReadStudyDescriptions(db, modality, descriptions))
    WriteLog("ERROR, ProcedureDescription, " + db.ErrorText);
  return SelectOrInput("ProcedureDescription", descriptions, current, TextInput("ProcedureDescription", current));
}

std::string ProcDescriptionPage(const ParamList& params) { return DescriptionSelect(params, ""); }
