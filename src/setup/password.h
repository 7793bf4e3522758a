#pragma once
// Random passwords for users created without one.
#include <string>

namespace tarvelin {

// Letters and digits from the system's random source: 16, or
// ServerSettings.MinPasswordLength when that asks for more, so the rule for
// new passwords always admits it.
std::string RandomPassword();

}  // namespace tarvelin
