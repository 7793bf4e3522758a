#pragma once
// The user administration, for ADMIN users only (the page table sees to
// that): list users by a name prefix, add, edit and delete them. The user
// "admin" can neither be deleted nor lose its ADMIN rights. No page shows a
// password or its hash.
#include <string>

#include "web/request_params.h"

// The page for "UserQuery": the query and add form, answers shown below it.
std::string UserQueryPage(int rights);

// The fragment for "display_users": with an "AddNew" pair adds the user
// UserName/PassWord/Rights, otherwise lists users whose names begin with UserName.
std::string UsersDisplay(const ParamList& params, int rights);

// The page for "form_users": Edit shows the password and rights form for the
// first ticked user; Delete deletes every ticked user but "admin".
std::string UsersForm(const ParamList& params, int rights);

// The page for "edit_users": Save sets the rights, and the password when one
// was typed; Cancel writes nothing.
std::string UsersEdit(const ParamList& params, int rights);
