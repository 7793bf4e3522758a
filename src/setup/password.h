#pragma once
// Random passwords for users created without one.
#include <string>

namespace tarvelin {

// 16 letters and digits from the system's random source.
std::string RandomPassword();

}  // namespace tarvelin
