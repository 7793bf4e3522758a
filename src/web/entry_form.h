#pragma once
// The worklist entry form: the fields of "add2wl" (empty but for defaults)
// and of the worklist edit page (filled from an entry), with the selectors
// that are fed from the database. Every control has a label; required ones
// are marked, and checked again by the server (see EntryFormErrors).
#include <string>
#include <vector>

#include "web/entry_fields.h"
#include "web/request_params.h"

namespace tarvelin {

// What the form shows. Dates are yyyy-mm-dd (what a browser's date input
// takes), the start time hh:mm (empty: now); status "" shows SCHEDULED.
struct EntryFormValues {
  std::string PatientID, LastName, FirstName, BirthDate, Sex;
  std::string Modality;  // the code; one outside the modality list is offered too
  std::string ReferringPhysician, ProcedureDescription, StartDate, StartTime, Status;
};

// Adding asks for birth date and sex too; an entry from an order may lack them.
enum class EntryFormKind { Add, Edit };

// The labels of the required fields left empty, all of them, in form order.
std::vector<std::string> EntryFormErrors(const EntryFormValues& values, EntryFormKind kind);

// The values a posted entry form holds.
EntryFormValues PostedEntryForm(const ParamList& params);

// The list of `errors` (with links to their fields) for the top of a form; "" for none.
std::string ErrorSummary(const std::vector<std::string>& errors);

// The fields, without the form element and its buttons.
std::string EntryForm(const EntryFormValues& values, EntryFormKind kind);

// The referring physician control: a selector of the Referrers table's names
// (with `current` selected, added when the table lacks it), or a text input
// "ReferringPysician" when the table is empty or cannot be read.
std::string ReferrerSelect(const std::string& current);

// The procedure description control for `modality` (CR when empty): a
// selector of the StudyDescription table's descriptions for it (with
// `current` selected, added when missing), or a text input
// "ProcedureDescription" when there are none. Both can be left empty.
std::string DescriptionSelect(const std::string& modality, const std::string& current);

// The fragment for "proc_description?Modality=XX": DescriptionSelect for that
// modality with nothing selected.
std::string ProcDescriptionPage(const ParamList& params);

}  // namespace tarvelin
