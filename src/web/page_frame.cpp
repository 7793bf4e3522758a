#include "web/page_frame.h"

#include "service/log.h"
#include "web/html_escape.h"

std::string PageOpening(const std::string& title) {
  return "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
         "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\r\n"
         "<HTML><HEAD><TITLE>" +
         HtmlEscape(title) +
         "</TITLE>\r\n"
         "<link href=\"javascript/style.css\" type=\"text/css\" rel=\"stylesheet\" />\r\n";
}

std::string NameFieldClearers() {
  return "<script type=\"text/javascript\">\r\n"
         "function blankLN(){ document.getElementById(\"LastName\").value=\"\"}\r\n"
         "function blankFN(){ document.getElementById(\"FirstName\").value=\"\"}\r\n"
         "</script>\r\n";
}

std::string NavBar(int rights) {
  std::string html =
      "<TABLE class=\"hoverTable\" WIDTH=\"60%\" BORDER=\"0\">\r\n"
      "<TR>\r\n"
      "<TD onclick=\"document.location = 'index.htm';\" class=\"header\"> Home &nbsp;</TD>\r\n";
  if (IsAdmin(rights)) html += "<TD onclick=\"document.location = 'UserQuery';\" class=\"header\"> Users &nbsp;</TD>\r\n";
  return html +
         "<td onclick=\"document.location = 'worklist';\" class=\"header\"> Query Worklist &nbsp;</td>"
         "<td onclick=\"document.location = 'add2wl';\" class=\"header\"> Add To Worklist </td>"
         "</TR></TABLE><BR>\r\n";
}

std::string PageFooter() {
  return "<BR><center><b>Developed by <a href=\"https://example.org/\">QuillatSoft</a></center></body></html>";
}

std::string ResultBox(const std::string& resultId, const std::string& width) {
  return "<div id=\"" + HtmlEscape(resultId) + "\" style=\"border: solid #88a; width:" + HtmlEscape(width) +
         "; height:20px\"></div>\r\n";
}

std::string FormScript(const std::string& formId, const std::string& resultId) {
  // The ids are the pages' own constants, placed into JavaScript strings.
  return "<script src=\"javascript/jquery-2.1.0.min.js\"></script>\r\n"
         "<script type=\"text/javascript\">\r\n"
         "var frm = $('#" + formId + "');\r\n"
         "var formResult = $('#" + resultId + "');\r\n"
         "var paging = false;\r\n"
         "function setOffset(offset) { frm.find('input[name=\"Offset\"]').val(offset); }\r\n"
         "function FormPage(offset) { setOffset(offset); paging = true; frm.submit(); }\r\n"
         "function FormReset() { formResult.css('height', '20px'); formResult.text(''); setOffset(0); }\r\n"
         "frm.submit(function (ev) {\r\n"
         "  ev.preventDefault();\r\n"
         "  var pressed = (ev.originalEvent && ev.originalEvent.submitter) || document.activeElement;\r\n"
         "  var data;\r\n"
         "  if (!paging && pressed && $(pressed).is(':submit') && $.contains(frm[0], pressed)) {\r\n"
         "    setOffset(0);\r\n"
         "    data = frm.serialize() + '&' + encodeURIComponent(pressed.name) + '=' + encodeURIComponent(pressed.value);\r\n"
         "  } else {\r\n"
         "    data = frm.serialize();\r\n"
         "  }\r\n"
         "  paging = false;\r\n"
         "  $.ajax({ type: frm.attr('method'), url: frm.attr('action'), data: data,\r\n"
         "    success: function (answer) { formResult.css('height', 'auto'); formResult.html(answer); } });\r\n"
         "});\r\n"
         "</script>\r\n";
}

std::string LoggedError(const std::string& text, const std::string& detail) {
  WriteLog(text + detail);
  return "<b>" + text + HtmlEscape(detail) + "</b>\r\n";
}
