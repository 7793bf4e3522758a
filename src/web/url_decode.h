#pragma once
// Decoding of URL-encoded text (query strings and form bodies).
#include <string>

namespace tarvelin {

// Each %XX escape gives one byte, %uXXXX one UTF-16 unit written as UTF-8 (a
// surrogate pair written as two escapes becomes one character); "+" becomes a
// blank only when `plusIsBlank`. A "%" that starts no escape stays as it is.
std::string UrlDecode(const std::string& text, bool plusIsBlank);

}  // namespace tarvelin
