#pragma once
// Encoding values for the query text of our own links.
#include <string>

namespace tarvelin {

// Every byte but A-Z a-z 0-9 - . _ ~ as %XX (a blank too, as %20).
std::string UrlEncode(const std::string& text);

}  // namespace tarvelin
