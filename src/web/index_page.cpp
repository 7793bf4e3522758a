#include "web/index_page.h"

#include "web/html_escape.h"
#include "web/page_frame.h"
#include "web/web_rights.h"

namespace tarvelin {

namespace {
std::string Choice(const char* href, const char* picture, const char* title, const char* text) {
  return std::string("<li><a href=\"") + href + "\"><img src=\"javascript/" + picture +
         "\" alt=\"\" width=\"48\" height=\"48\"><b>" + title + "</b><br>" + text + "</a></li>\r\n";
}
}  // namespace

std::string IndexPage(const std::string& user, int rights) {
  std::string html = PageOpening("WEB Server") + kHeadEnd + NavBar(rights) +
                     "<h1><b>Worklist WEB Server</b> - " + HtmlEscape(user) + "</h1>\r\n<ul class=\"choices\">\r\n";
  if (Allowed(WebAction::ManageUsers, rights)) html += Choice("UserQuery", "card.png", "Manage Users", "View and manage User database");
  return html + Choice("worklist", "list.png", "Query Worklist", "Browse worklist entries") +
         Choice("add2wl", "list.png", "Add to Worklist", "Add a new worklist entry") + "</ul>\r\n" + PageFooter();
}

}  // namespace tarvelin
