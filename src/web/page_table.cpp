#include "web/page_table.h"

#include <iterator>

#include "service/log.h"
#include "web/add_to_worklist.h"
#include "web/entry_form.h"
#include "web/index_page.h"
#include "web/user_pages.h"
#include "web/worklist_edit_pages.h"
#include "web/page_frame.h"
#include "web/worklist_pages.h"

namespace {
const PageRoute kPages[] = {
    {"index.htm", false, [](const PageRequest& r) { return IndexPage(r.user, r.rights); }},
    {"worklist", false, [](const PageRequest& r) { return WorklistPage(r.rights); }},
    {"display_wlquery", false, [](const PageRequest& r) { return WLQueryDisplay(r.http.Params, r.rights); }},
    {"form_wlquery", false, [](const PageRequest& r) { return WLQueryForm(r.http.Params, r.rights, r.user); }},
    {"edit_wlquery", false, [](const PageRequest& r) { return WLQueryEdit(r.http.Params, r.rights, r.user); }},
    {"wledit", false, [](const PageRequest& r) { return WLQueryEdit(r.http.Params, r.rights, r.user); }},
    {"add2wl", false, [](const PageRequest& r) { return AddToWorklistPage(r.rights); }},
    {"wlprocess", false,
     [](const PageRequest& r) {
       WriteLog("INFO, wlprocess URL: " + r.http.UnparsedParams);
       WriteLog("INFO, wlprocess CharSet: " + r.http.CharSet);
       return WorklistProcess(r.list, r.rights);
     }},
    {"wlsetstatus", false, [](const PageRequest& r) { return WLSetStatus(r.http.Params, r.rights, r.user); }},
    {"proc_description", false, [](const PageRequest& r) { return ProcDescriptionPage(r.http.Params); }},
    {"UserQuery", true, [](const PageRequest& r) { return UserQueryPage(r.rights); }},
    {"display_users", true, [](const PageRequest& r) { return UsersDisplay(r.http.Params, r.rights); }},
    {"form_users", true, [](const PageRequest& r) { return UsersForm(r.http.Params, r.rights); }},
    {"edit_users", true, [](const PageRequest& r) { return UsersEdit(r.http.Params, r.rights); }},
};
}  // namespace

const PageRoute* FindPage(const std::string& document, int rights) {
  for (const PageRoute& route : kPages)
    if (document == route.document) return !route.adminOnly || IsAdmin(rights) ? &route : nullptr;
  return nullptr;
}
