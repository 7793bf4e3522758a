#include "web/page_table.h"

#include <iterator>

#include "web/index_page.h"
#include "web/page_frame.h"
#include "web/worklist_pages.h"

namespace {
const PageRoute kPages[] = {
    {"index.htm", false, [](const PageRequest& r) { return IndexPage(r.user, r.rights); }},
    {"worklist", false, [](const PageRequest& r) { return WorklistPage(r.rights); }},
    {"display_wlquery", false, [](const PageRequest& r) { return WLQueryDisplay(r.http.Params, r.rights); }},
};
}  // namespace

const PageRoute* FindPage(const std::string& document, int rights) {
  for (const PageRoute& route : kPages)
    if (document == route.document) return !route.adminOnly || IsAdmin(rights) ? &route : nullptr;
  return nullptr;
}
