#pragma once
// Changing worklist entries: the result grid's Edit and Delete
// ("form_wlquery"), saving the edit form ("edit_wlquery", also "wledit"),
// and setting an entry's status by its accession number ("wlsetstatus",
// for other systems). Every page answers with status 200 and its message.
#include <string>

#include "web/request_params.h"

// The page for "form_wlquery": Edit shows the entry form filled with the
// first ticked row; Delete deletes every ticked row, and only for ADMIN
// users: anyone else's Delete deletes nothing and is refused on the page and
// in the log, naming `user`.
std::string WLQueryForm(const ParamList& params, int rights, const std::string& user);

// The page for "edit_wlquery" and "wledit": Save writes every non-empty field
// of the form to the entry with that AccessionNumber; Cancel writes nothing.
// A status chosen by hand is an administrator's change: it may move back
// (logged with `user`).
std::string WLQueryEdit(const ParamList& params, int rights, const std::string& user);

// The page for "wlsetstatus": AccessionNumber and SPSStatus set that entry's
// status, as an administrator's change by `user`; only the four status words
// are accepted.
std::string WLSetStatus(const ParamList& params, int rights, const std::string& user);
