#pragma once
// The user administration, for ADMIN users only (the page table sees to
// that): list users by a name prefix, add, edit and delete them. The user
// "admin" can neither be deleted nor lose its ADMIN rights, nor can the last
// ADMIN user (db/user_store.h decides that). No page shows a
// password or its hash. Every change ends with a 303 back to the list and
// its message.
#include "web/page_table.h"

namespace tarvelin {

// The page for "UserQuery": the users whose names begin with UserName (all
// when empty), each opening its edit form, and the form to add a user.
PageResult UserQueryPage(const PageRequest& request);

// "display_users": posted with AddNew, adds the user UserName/PassWord/
// Rights; otherwise the list alone for the UserName prefix.
PageResult UsersDisplay(const PageRequest& request);

// "form_users": asked with a UserName, that user's password and rights form;
// posted with Delete and UserName values, a confirmation, and with
// Confirm=yes the deletion of every one of them but "admin".
PageResult UsersForm(const PageRequest& request);

// "edit_users": Save sets the rights, and the password when one was typed.
PageResult UsersEdit(const PageRequest& request);

}  // namespace tarvelin
