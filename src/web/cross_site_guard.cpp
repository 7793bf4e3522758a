#include "web/cross_site_guard.h"

#include <strings.h>

namespace tarvelin {

bool FromBrowser(const HttpRequest& request) { return !request.Origin.empty() || !request.SecFetchSite.empty(); }

std::string CrossSiteRefusal(const HttpRequest& request) {
  const std::string& site = request.SecFetchSite;
  // "same-site" is another port or host of the same site: another origin all the same.
  if (!site.empty() && strcasecmp(site.c_str(), "same-origin") != 0 && strcasecmp(site.c_str(), "none") != 0)
    return "Sec-Fetch-Site=" + site;
  if (request.Origin.empty()) return "";
  const std::string own = (request.Secure ? "https://" : "http://") + request.Host;
  if (request.Host.empty() || strcasecmp(request.Origin.c_str(), own.c_str()) != 0) return "Origin=" + request.Origin;
  return "";
}

}  // namespace tarvelin
