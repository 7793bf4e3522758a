#pragma once
// Registration as a system service: the systemd unit Quillat_Tarvelin.service,
// started at boot (multi-user.target) with the instance folder as --home.
#include <string>

inline constexpr char kServiceName[] = "Quillat_Tarvelin";
inline constexpr char kServiceDisplayName[] = "QuillatSoft Tarvelin";

// Where units go: $TARVELIN_UNIT_DIR when set (tests), else /etc/systemd/system.
std::string UnitFolder();

// The unit file's text.
std::string UnitText(const std::string& executable, const std::string& programFolder);

// Writes the unit into `folder` and enables it (the multi-user.target.wants
// link). On failure returns false with the reason in `error`.
bool InstallUnit(const std::string& folder, const std::string& executable, const std::string& programFolder,
                 std::string& error);

// Removes the unit and its link; false with a reason when it was not installed.
bool UninstallUnit(const std::string& folder, std::string& error);
