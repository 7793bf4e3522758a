#pragma once
// The pieces every page is built from. Texts that come from outside (titles
// made of a button name, values) are HTML-escaped here. Pages carry no
// inline script or style: the one script file and the style sheet do it all,
// so the Content-Security-Policy can forbid inline code.
#include <string>

#include "db/user_store.h"

namespace tarvelin {

// The document type, <html lang="en"><head> with the viewport, the title,
// the style sheet and the script file (their addresses versioned, so
// browsers keep them). The page closes the head with kHeadEnd.
std::string PageOpening(const std::string& title);
inline constexpr const char* kHeadEnd = "</head><body>\r\n";

// The navigation links (Users only for rights 1, and Log out); opens <main>.
std::string NavBar(int rights);

// PageOpening, kHeadEnd, NavBar and the page's <h1> heading.
std::string PageStart(const std::string& title, int rights);

// Closes <main>, the footer, the body and the document.
std::string PageFooter();

// A hidden input, the value escaped.
std::string HiddenField(const std::string& name, const std::string& value);

// The hidden form token input.
std::string TokenField(const std::string& token);

// A message for the user after an action ("Updated entry A1"), escaped.
std::string MessageLine(const std::string& text);

// Logs `text` + `detail` and returns the same as a bold line for the page,
// the detail (a value or SQLite's message) escaped.
std::string LoggedError(const std::string& text, const std::string& detail = "");

// The whole page of a refused request (403, 429): the reason and a way home.
std::string RefusalPage(const std::string& reason);

// The page shown after Log out.
std::string LoggedOutPage();

// 1 is ADMIN; every other value is GENERAL.
inline bool IsAdmin(int rights) { return rights == kAdminRights; }

}  // namespace tarvelin
