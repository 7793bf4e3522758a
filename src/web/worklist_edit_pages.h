#pragma once
// Changing worklist entries: the edit form and the deletion of entries
// ("form_wlquery"), saving the edit form ("edit_wlquery", also "wledit"),
// and setting an entry's status by its accession number ("wlsetstatus",
// for other systems). Entries are always found by their accession number
// in the database, never by values shown on a page.
#include "web/page_table.h"

namespace tarvelin {

// The page for "form_wlquery". Asked with an AccessionNumber: the edit form
// of that entry as stored. Posted with Delete and one or more
// AccessionNumber values by an ADMIN user: a confirmation naming the
// entries found; posted again with Confirm=yes: deletes them and sends the
// browser to the list with the number deleted (none deleted is an error).
// Anyone else's Delete is refused on the page and in the log.
PageResult WLQueryForm(const PageRequest& request);

// The page for "edit_wlquery" and "wledit". From our edit form (Form=edit):
// Save checks the required fields (all errors at once, the form kept as
// typed), then writes every editable field (an empty one clears it) if the
// entry is unchanged since the form was shown, the status only when the
// user changed it and only forward unless an ADMIN user changes it; then
// 303 to the list with a message. From another system: every non-empty
// field given is written to the entry with that AccessionNumber.
PageResult WLQueryEdit(const PageRequest& request);

// The page for "wlsetstatus": AccessionNumber and SPSStatus set that entry's status.
PageResult WLSetStatus(const PageRequest& request);

}  // namespace tarvelin
