#pragma once
// What each right of a web user may do: the one table every page and button
// asks. GENERAL users (Users.Rights anything but 1) work with the worklist;
// ADMIN users (Rights 1) may also delete entries, move a status back in the
// edit form and manage the web users. The operations guide shows the same
// table.
namespace tarvelin {

enum class WebAction {
  Query,           // the list, an entry's form, the procedure descriptions
  Add,             // add an entry (add2wl, wlprocess)
  Edit,            // save an entry's form, wledit
  SetStatus,       // move a status forward in the form; wlsetstatus
  MoveStatusBack,  // move a status backwards in the edit form
  Delete,          // delete entries
  ManageUsers,     // the user pages: list, add, edit, delete
};

struct WebActionRight {
  WebAction action;
  bool adminOnly;
};

inline constexpr WebActionRight kWebRights[] = {
    {WebAction::Query, false},         {WebAction::Add, false},    {WebAction::Edit, false},
    {WebAction::SetStatus, false},     {WebAction::MoveStatusBack, true},
    {WebAction::Delete, true},         {WebAction::ManageUsers, true},
};

// True when a user with `rights` may do `action`.
bool Allowed(WebAction action, int rights);

}  // namespace tarvelin
