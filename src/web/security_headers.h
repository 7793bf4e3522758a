#pragma once
// The headers every answer of the web server carries, pages and files alike:
// a browser then runs only our own script files (no inline script, no
// handler attributes), shows our pages in no other site's frame, never
// guesses a content type, and sends no page address to another site.
#include <utility>
#include <vector>

namespace tarvelin {

// Name and value pairs (Strict-Transport-Security, for HTTPS only, is added
// where the connection is known).
const std::vector<std::pair<const char*, const char*>>& SecurityHeaders();

}  // namespace tarvelin
