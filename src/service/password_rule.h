#pragma once
// The rule for new web passwords: at least ServerSettings.MinPasswordLength
// characters. Passwords stored before the rule keep working; it applies when
// a password is set (the web user pages, tarvelin-setup user).
#include <string>

namespace tarvelin {

// "" when `password` may be set; otherwise the refusal, e.g. "a password
// needs at least 12 characters (this one has 5)". Characters are counted as
// UTF-8 code points when the text is UTF-8, else as bytes (Windows-1252).
std::string PasswordRefusal(const std::string& password);

}  // namespace tarvelin
