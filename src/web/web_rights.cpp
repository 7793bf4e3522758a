#include "web/web_rights.h"

#include "web/page_frame.h"

namespace tarvelin {

bool Allowed(WebAction action, int rights) {
  for (const WebActionRight& row : kWebRights)
    if (row.action == action) return !row.adminOnly || IsAdmin(rights);
  return false;
}

}  // namespace tarvelin
