#include "web/index_page.h"

#include "web/html_escape.h"
#include "web/page_frame.h"

std::string IndexPage(const std::string& user, int rights) {
  std::string html = PageOpening("WEB Server") + kHeadEnd +
                     "<center><table class=\"hoverTable\" width=\"60%\">\r\n"
                     "<thead><th align=\"center\"><h2><b>Worklist WEB Server</b> - " +
                     HtmlEscape(user) + "</h2></th></thead>\r\n";
  if (IsAdmin(rights))
    html +=
        "<tr onclick=\"document.location = 'UserQuery';\">\r\n"
        "<td><img align=\"left\" src=\"javascript/card.png\">\r\n"
        "<b>Manage Users</b><br>View and manage User database</td></tr>\r\n";
  return html +
         "<tr onclick=\"document.location = 'worklist';\">\r\n"
         "<td><img align=\"left\" src=\"javascript/list.png\">\r\n"
         "<b>Query Worklist</b><br>Browse worklist entries</td></tr>\r\n"
         "<tr onclick=\"document.location = 'add2wl';\">\r\n"
         "<td><img align=\"left\" src=\"javascript/list.png\">\r\n"
         "<b>Add to Worklist</b><br>Add a new worklist entry</td></tr>\r\n"
         "</table></center>\r\n</body></html>\r\n";
}
