#pragma once
// Reads the settings file (TRVGUI.ini, written by the configuration tool)
// into ServerSettings, in the fixed order of its keys. A missing file or key
// gives the key's default.
#include <string>

namespace tarvelin {

void ReadIniSettings(const std::string& iniPath);

}  // namespace tarvelin
