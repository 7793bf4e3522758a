#include "web/security_headers.h"

namespace tarvelin {

const std::vector<std::pair<const char*, const char*>>& SecurityHeaders() {
  static const std::vector<std::pair<const char*, const char*>> headers = {
      {"Content-Security-Policy",
       "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self'; object-src 'none'; "
       "base-uri 'none'; form-action 'self'; frame-ancestors 'none'"},
      {"X-Frame-Options", "DENY"},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "same-origin"},
  };
  return headers;
}

}  // namespace tarvelin
