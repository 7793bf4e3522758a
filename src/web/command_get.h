#pragma once
// The request handler of the web administration: authenticates the caller,
// logs the request, and answers with a page of the page table or a static
// file of the instance folder.
#include <string>

#include "web/http_server.h"

namespace tarvelin {

void CommandGet(const HttpRequest& request, HttpResponse& response);

// The requested path as the page table and the file step see it: one
// leading "\" and then one leading "/" removed; empty becomes "index.htm".
std::string NormaliseDocument(const std::string& path);

// True when `document` names a file the web may serve: inside the instance
// folder (no "..", ".", empty segment or absolute path) and not one of its
// private parts (database/, logs/, HL7in/, HL7out/, HL7error/, TRVGUI.ini,
// wlfilter.txt, callers.txt).
bool IsPublicDocument(const std::string& document);

}  // namespace tarvelin
