#pragma once
// Paths inside an instance folder, as the server derives them.
#include <string>

namespace tarvelin {

// The folder with exactly one trailing "/".
std::string InstanceFolder(const std::string& dir);

std::string InstanceDatabasePath(const std::string& dir);  // database/quillat.db
std::string InstanceIniPath(const std::string& dir);       // TRVGUI.ini

// Points the storage layer and the settings' ProgramFolder at the instance in `dir`.
void UseInstance(const std::string& dir);

// The database name every part of the server opens.
inline constexpr const char* kDatabaseName = "quillat";

}  // namespace tarvelin
