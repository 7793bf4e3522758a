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

}  // namespace tarvelin
