#pragma once
// The worklist entry form: the fields of "add2wl" (empty but for defaults)
// and of the worklist edit page (filled from an entry), with the selectors
// that are fed from the database.
#include <string>

#include "web/request_params.h"

// What the form shows. Dates are yyyy-mm-dd (what a browser's date input
// takes), the start time hh:mm (empty: now); status "" shows SCHEDULED.
struct EntryFormValues {
  std::string PatientID, LastName, FirstName, BirthDate, Sex;
  std::string Modality;  // the code; one outside the modality list is offered too
  std::string ReferringPhysician, ProcedureDescription, StartDate, StartTime, Status;
};

// The table of entry fields, without the form element and its buttons.
std::string EntryForm(const EntryFormValues& values);

// The script defining ModalityChange(code): it fetches
// "proc_description?Modality=" + code and puts the answer into the
// ProcDescription box, so the descriptions follow the chosen modality.
std::string ModalityChangeScript();

// The referring physician control: a selector of the Referrers table's names
// (with `current` selected, added when the table lacks it), or a text input
// "ReferringPysician" when the table is empty or cannot be read.
std::string ReferrerSelect(const std::string& current);

// The procedure description control for the last "Modality" of params (CR
// when none): a selector of the StudyDescription table's descriptions for it
// (with `current` selected, added when missing), or a text input
// "ProcedureDescription" when there are none.
std::string DescriptionSelect(const ParamList& params, const std::string& current);

// The fragment for "proc_description?Modality=XX": DescriptionSelect for that
// modality with nothing selected.
std::string ProcDescriptionPage(const ParamList& params);
