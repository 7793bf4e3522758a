#pragma once
#include <string>

namespace tarvelin {

// The page for "index.htm": the user's name and the three (for GENERAL users
// two) things to do, without navigation bar or footer.
std::string IndexPage(const std::string& user, int rights);

}  // namespace tarvelin
