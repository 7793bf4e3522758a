#pragma once
// The pages of the web administration: document name -> builder, and
// whether the page needs ADMIN rights. Adding a page is adding a row to the
// table in page_table.cpp.
#include <string>

#include "web/http_server.h"
#include "web/request_params.h"

// Everything a page builder may read of its request.
struct PageRequest {
  const HttpRequest& http;  // http.Params: the decoded parameters; http.UnparsedParams, http.CharSet
  const ParamList& list;    // the parameter list CommandGet built (query text or whole body)
  const std::string& user;  // the authenticated user name ("" without authentication)
  int rights;               // 1 ADMIN, anything else GENERAL
};

// Returns the whole page (or fragment) text, sent as text/html. May throw:
// the request is then answered 500.
using PageBuilder = std::string (*)(const PageRequest&);

struct PageRoute {
  const char* document;  // exact, case-sensitive: "worklist"
  bool adminOnly;        // without rights 1 the document is looked up as a file
  PageBuilder build;
};

// The route for `document` open to `rights`, or nullptr.
const PageRoute* FindPage(const std::string& document, int rights);
