#pragma once
// Where the instance lives: the folder given by --home, else $TARVELIN_HOME,
// else the executable's own folder. Always absolute and ending with "/".
#include <string>

namespace tarvelin {

// Full path of the running executable ("" if it cannot be found).
std::string ExecutablePath();

// A name that opens the running executable's own file, for reading its
// version stamp: unlike ExecutablePath() it still reaches the running image
// after the file was replaced or deleted (a package upgrade while the server
// runs), so the version logged is always that of the running program.
std::string RunningExecutable();

// `home` is the --home argument ("" when not given).
std::string ResolveProgramFolder(const std::string& home);

// `path` with exactly one trailing "/" (unless it is empty).
std::string WithTrailingSlash(const std::string& path);

}  // namespace tarvelin
