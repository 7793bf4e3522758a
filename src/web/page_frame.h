#pragma once
// The pieces every page is built from. Texts that come from outside (titles
// made of a button name, values) are HTML-escaped here; the ids given to
// FormScript and ResultBox are the pages' own constants.
#include <string>

// The document type, <HTML><HEAD><TITLE>title</TITLE> and the style sheet
// link. The page may add scripts, then closes the head with kHeadEnd.
std::string PageOpening(const std::string& title);
inline constexpr const char* kHeadEnd = "</HEAD><BODY>\r\n";

// The script that empties the LastName and FirstName inputs when clicked.
std::string NameFieldClearers();

// The navigation bar; the Users cell only for rights 1.
std::string NavBar(int rights);

// The footer; it also ends the body and the document.
std::string PageFooter();

// The empty box under a query form that FormScript fills.
std::string ResultBox(const std::string& resultId, const std::string& width);

// jQuery and the script that sends the form `formId` in the background and
// puts the answer into the element `resultId`. It defines FormPage(offset)
// (the result grid's Previous and Next) and FormReset() (the Reset button).
// A press of a submit button sets Offset to 0 and adds the button's
// name=value pair after the form's fields.
std::string FormScript(const std::string& formId, const std::string& resultId);

// The buttons that end an edit form.
inline constexpr const char* kSaveCancelButtons =
    "<input type=\"submit\" value=\"Save\" name=\"Save\">\r\n"
    "<input type=\"submit\" value=\"Cancel\" name=\"Cancel\">\r\n"
    "<input type=\"reset\" value=\"Reset\" name=\"Reset\"></form><p>\r\n";

// Logs `text` + `detail` and returns the same as a bold line for the page,
// the detail (a value or SQLite's message) escaped.
std::string LoggedError(const std::string& text, const std::string& detail = "");

// 1 is ADMIN; every other value is GENERAL.
inline bool IsAdmin(int rights) { return rights == 1; }
