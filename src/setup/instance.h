#pragma once
// Paths inside an instance folder, as the server derives them.
#include <string>

namespace tarvelin {

struct StorageLocation;

// The folder with exactly one trailing "/".
std::string InstanceFolder(const std::string& dir);

std::string InstanceDatabasePath(const std::string& dir);  // database/quillat.db
std::string InstanceIniPath(const std::string& dir);       // TRVGUI.ini

// Points the storage layer at the instance's SQLite files in `dir`, and the
// settings' ProgramFolder at `dir`, whatever its settings name: for the
// commands that build or read those files themselves.
void UseInstance(const std::string& dir);

// Points ProgramFolder and the storage layer at where the instance keeps its
// data, as its TRVGUI.ini says ([TRVSVC] Database: its SQLite file when the
// key is missing). False with `error` set for a value the server would
// refuse too.
bool UseInstanceStorage(const std::string& dir, StorageLocation& location, std::string& error);

// The instance's [TRVSVC] Database setting as the server reads it.
std::string InstanceDatabaseSetting(const std::string& dir);

// Where the data of `location` lives, for messages: the SQLite file, or the
// PostgreSQL connection string without its password.
std::string StorageShown(const StorageLocation& location);

// The database name every part of the server opens.
inline constexpr const char* kDatabaseName = "quillat";

}  // namespace tarvelin
