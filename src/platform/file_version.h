#pragma once
// The file version of an executable. The build stamps the project version
// (major.minor.release.build) into every binary that links this library as a
// marker; FileVersionText finds the marker in the file.
#include <string>

namespace tarvelin {

// "major.minor.release" of the file's stamp (the build number is not shown),
// or "" for a file without a stamp or one that cannot be read.
std::string FileVersionText(const std::string& path);

}  // namespace tarvelin
