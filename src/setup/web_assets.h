#pragma once
// The files the web pages load from javascript/ of an instance: our style
// sheet and pictures (web/ of the source tree, or share/tarvelin/ beside an
// installed bin/) and jQuery 2.1.0 from the npm registry (`npm ci --prefix
// web` puts it under web/node_modules/; an installed copy lies beside the rest).
#include <ostream>
#include <string>
#include <vector>

namespace tarvelin {

// Folders searched for the assets, in this order: `chosen` when not empty,
// else $TARVELIN_WEB_ASSETS when set, else share/tarvelin/ beside the
// executable's bin/ folder, else the source tree's web/.
std::vector<std::string> WebAssetFolders(const std::string& chosen);

// Copies the four files into DIR/javascript/ (replacing older copies).
// Returns the names of the files found nowhere (nothing copied for them);
// false with `error` set when a copy failed.
bool InstallWebAssets(const std::string& dir, const std::vector<std::string>& folders,
                      std::vector<std::string>& missing, std::string& error);

// Installs the assets and reports on `out`/`err`: a missing file is a
// warning that says how to get it. False only when a copy failed.
bool InstallWebAssetsReporting(const std::string& dir, const std::string& chosenFolder, std::ostream& out,
                               std::ostream& err);

}  // namespace tarvelin
