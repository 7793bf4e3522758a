#pragma once
// The settings file a new instance starts with: every key the server reads,
// commented out with its default, so the file documents itself.
#include <string>

namespace tarvelin {

std::string DefaultIniText();

}  // namespace tarvelin
