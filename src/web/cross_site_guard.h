#pragma once
// Requests that change data must come from our own pages. A browser says
// where a request comes from (Origin, Sec-Fetch-Site) and sends the cached
// Basic credentials whatever page made it, so a page of another site could
// otherwise delete or change entries. Scripts of other systems send neither
// header and are not browsers: they are let through here.
#include <string>

#include "web/http_server.h"

namespace tarvelin {

// True when the request carries Origin or Sec-Fetch-Site.
bool FromBrowser(const HttpRequest& request);

// "" when the request may change data; otherwise why not, for the log line:
// Sec-Fetch-Site other than "same-origin" or "none" (typed or bookmarked),
// or an Origin other than this server's own scheme, host and port.
std::string CrossSiteRefusal(const HttpRequest& request);

}  // namespace tarvelin
