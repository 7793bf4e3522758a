#include "web/page_table.h"

#include "service/log.h"
#include "web/add_to_worklist.h"
#include "web/entry_form.h"
#include "web/index_page.h"
#include "web/page_frame.h"
#include "web/user_pages.h"
#include "web/worklist_edit_pages.h"
#include "web/worklist_pages.h"

namespace tarvelin {

namespace {
using enum PageGuard;
using enum WebAction;

const PageRoute kPages[] = {
    {"index.htm", Query, ReadOnly, [](const PageRequest& r) { return PageResult(IndexPage(r.user, r.rights)); }},
    {"worklist", Query, ReadOnly, WorklistPage},
    {"display_wlquery", Query, ReadOnly, WLQueryDisplay},
    {"form_wlquery", Query, ChangesOnPost, WLQueryForm},
    {"edit_wlquery", Edit, Changes, WLQueryEdit},
    {"wledit", Edit, Integration, WLQueryEdit},
    {"add2wl", Add, ReadOnly, AddToWorklistPage},
    {"wlprocess", Add, Integration,
     [](const PageRequest& r) {
       WriteLog("INFO, wlprocess URL: " + r.http.UnparsedParams);
       WriteLog("INFO, wlprocess CharSet: " + r.http.CharSet);
       return WorklistProcess(r);
     }},
    {"wlsetstatus", SetStatus, Integration, WLSetStatus},
    {"proc_description", Query, ReadOnly,
     [](const PageRequest& r) { return PageResult(ProcDescriptionPage(r.http.Params)); }},
    {"UserQuery", ManageUsers, ReadOnly, UserQueryPage},
    {"display_users", ManageUsers, ChangesOnPost, UsersDisplay},
    {"form_users", ManageUsers, ChangesOnPost, UsersForm},
    {"edit_users", ManageUsers, Changes, UsersEdit},
};
}  // namespace

const PageRoute* FindPage(const std::string& document, int rights) {
  for (const PageRoute& route : kPages)
    if (document == route.document) return Allowed(route.action, rights) ? &route : nullptr;
  return nullptr;
}

}  // namespace tarvelin
