#pragma once
// Writes one key of an ini file the way the server's reader will find it:
// the first section of that name (case-insensitive) and the first key of that
// name in it are replaced; a missing key or section is added. Every other
// line stays as it was. The file is replaced atomically.
#include <string>

namespace tarvelin {

// False with `error` set when a name or value cannot be written faithfully or
// the file cannot be read or written.
bool SetIniValue(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value, std::string& error);

// Removes the key the server would read (the first of that name in the first
// section of that name), keeping every other line; nothing to remove is no
// failure. False with `error` set when the file cannot be read or written.
bool RemoveIniValue(const std::string& path, const std::string& section, const std::string& key, std::string& error);

}  // namespace tarvelin
