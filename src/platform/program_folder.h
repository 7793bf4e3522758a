#pragma once
// Where the instance lives: the folder given by --home, else $TARVELIN_HOME,
// else the executable's own folder. Always absolute and ending with "/".
#include <string>

// Full path of the running executable ("" if it cannot be found).
std::string ExecutablePath();

// `home` is the --home argument ("" when not given).
std::string ResolveProgramFolder(const std::string& home);

// `path` with exactly one trailing "/" (unless it is empty).
std::string WithTrailingSlash(const std::string& path);
