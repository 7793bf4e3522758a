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

const PageRoute kPages[] = {
    {"index.htm", false, ReadOnly, [](const PageRequest& r) { return PageResult(IndexPage(r.user, r.rights)); }},
    {"worklist", false, ReadOnly, WorklistPage},
    {"display_wlquery", false, ReadOnly, WLQueryDisplay},
    {"form_wlquery", false, ChangesOnPost, WLQueryForm},
    {"edit_wlquery", false, Changes, WLQueryEdit},
    {"wledit", false, Integration, WLQueryEdit},
    {"add2wl", false, ReadOnly, AddToWorklistPage},
    {"wlprocess", false, Integration,
     [](const PageRequest& r) {
       WriteLog("INFO, wlprocess URL: " + r.http.UnparsedParams);
       WriteLog("INFO, wlprocess CharSet: " + r.http.CharSet);
       return WorklistProcess(r);
     }},
    {"wlsetstatus", false, Integration, WLSetStatus},
    {"proc_description", false, ReadOnly,
     [](const PageRequest& r) { return PageResult(ProcDescriptionPage(r.http.Params)); }},
    {"UserQuery", true, ReadOnly, UserQueryPage},
    {"display_users", true, ChangesOnPost, UsersDisplay},
    {"form_users", true, ChangesOnPost, UsersForm},
    {"edit_users", true, Changes, UsersEdit},
};
}  // namespace

const PageRoute* FindPage(const std::string& document, int rights) {
  for (const PageRoute& route : kPages)
    if (document == route.document) return !route.adminOnly || IsAdmin(rights) ? &route : nullptr;
  return nullptr;
}

}  // namespace tarvelin
