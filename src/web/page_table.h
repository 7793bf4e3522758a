#pragma once
// The pages of the web administration: document name -> builder, the action
// it serves (whose right it needs, see web_rights.h), and whether it changes data (and so must come from
// our own pages). Adding a page is adding a row to the table in page_table.cpp.
#include <string>

#include "web/http_server.h"
#include "web/request_params.h"
#include "web/web_rights.h"

namespace tarvelin {

// Everything a page builder may read of its request.
struct PageRequest {
  const HttpRequest& http;  // http.Params: the decoded parameters; http.UnparsedParams, http.CharSet
  const ParamList& list;    // the parameter list CommandGet built (query text or whole body)
  const std::string& user;  // the authenticated user name ("" without authentication)
  int rights;               // 1 ADMIN, anything else GENERAL
  const std::string& token;  // the form token of this login, for the forms the page shows

  bool IsPost() const { return http.Command == "POST"; }
};

// A built page, or (Location set) a redirect to another page of ours: after
// a change the browser is sent on with 303, so reload and Back never send
// the change again.
struct PageResult {
  PageResult(std::string text) : Text(std::move(text)) {}  // NOLINT: a page is the common case
  static PageResult Redirect(std::string location) {
    PageResult result("");
    result.Location = std::move(location);
    return result;
  }
  std::string Text;
  std::string Location;
};

// Builds the answer (sent as text/html). May throw: the request is then answered 500.
using PageBuilder = PageResult (*)(const PageRequest&);

enum class PageGuard {
  ReadOnly,      // shows data only
  ChangesOnPost,  // a GET shows, a POST changes
  Changes,       // every request may change data
  Integration,   // changes data, and other systems' scripts call it too (see CommandGet)
};

struct PageRoute {
  const char* document;  // exact, case-sensitive: "worklist"
  WebAction action;      // without its right the document is looked up as a file
  PageGuard guard;
  PageBuilder build;
};

// The route for `document` open to `rights`, or nullptr.
const PageRoute* FindPage(const std::string& document, int rights);

}  // namespace tarvelin
