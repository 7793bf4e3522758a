#include "web/page_frame.h"

#include "service/log.h"
#include "web/html_escape.h"
#include "web/static_file.h"
#include "web/web_rights.h"

namespace tarvelin {

std::string PageOpening(const std::string& title) {
  return "<!DOCTYPE html>\r\n<html lang=\"en\"><head>\r\n<meta charset=\"UTF-8\">\r\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\r\n"
         "<title>" + HtmlEscape(title) + "</title>\r\n"
         "<link href=\"" + AssetUrl("javascript/style.css") + "\" rel=\"stylesheet\">\r\n"
         "<script src=\"" + AssetUrl("javascript/tarvelin.js") + "\" defer></script>\r\n";
}

std::string NavBar(int rights) {
  std::string html =
      "<header><a class=\"skip\" href=\"#main\">Skip to content</a>\r\n"
      "<nav aria-label=\"Main\"><ul>\r\n<li><a href=\"index.htm\">Home</a></li>\r\n";
  if (Allowed(WebAction::ManageUsers, rights)) html += "<li><a href=\"UserQuery\">Users</a></li>\r\n";
  return html +
         "<li><a href=\"worklist\">Query Worklist</a></li>\r\n"
         "<li><a href=\"add2wl\">Add To Worklist</a></li>\r\n"
         "<li class=\"logout\"><a href=\"logout\">Log out</a></li>\r\n"
         "</ul></nav></header>\r\n<main id=\"main\">\r\n";
}

std::string PageStart(const std::string& title, int rights) {
  return PageOpening(title) + kHeadEnd + NavBar(rights) + "<h1>" + HtmlEscape(title) + "</h1>\r\n";
}

std::string PageFooter() {
  return "</main>\r\n<footer>Developed by <a href=\"https://example.org/\">QuillatSoft</a></footer>\r\n"
         "</body></html>\r\n";
}

std::string HiddenField(const std::string& name, const std::string& value) {
  return "<input type=\"hidden\" name=\"" + HtmlEscape(name) + "\" value=\"" + HtmlEscape(value) + "\">\r\n";
}

std::string TokenField(const std::string& token) { return HiddenField("FormToken", token); }

std::string MessageLine(const std::string& text) {
  return "<p class=\"message\" role=\"status\">" + HtmlEscape(text) + "</p>\r\n";
}

std::string LoggedError(const std::string& text, const std::string& detail) {
  WriteLog(text + detail);
  return "<p class=\"error\" role=\"alert\"><b>" + HtmlEscape(text) + HtmlEscape(detail) + "</b></p>\r\n";
}

std::string RefusalPage(const std::string& reason) {
  return PageOpening("Refused") + kHeadEnd + "<main id=\"main\"><h1>Refused</h1>\r\n<p>" + HtmlEscape(reason) +
         "</p>\r\n<p><a href=\"index.htm\">Home</a></p>\r\n</main></body></html>\r\n";
}

std::string LoggedOutPage() {
  return PageOpening("Logged out") + kHeadEnd +
         "<main id=\"main\"><h1>Logged out</h1>\r\n<p>You are logged out. Close the browser on a shared computer.</p>\r\n"
         "<p><a href=\"index.htm\">Log in again</a></p>\r\n</main></body></html>\r\n";
}

}  // namespace tarvelin
