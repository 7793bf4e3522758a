#pragma once
// Registration as a system service: the systemd unit Quillat_Tarvelin.service,
// started at boot (multi-user.target) with the instance folder as --home.
#include <string>

namespace tarvelin {

inline constexpr char kServiceName[] = "Quillat_Tarvelin";
inline constexpr char kServiceDisplayName[] = "QuillatSoft Tarvelin";

// Where units go: $TARVELIN_UNIT_DIR when set (tests), else /etc/systemd/system.
std::string UnitFolder();

// The account the service runs as when the instance folder does not name one.
inline constexpr char kServiceUser[] = "tarvelin";

// The unit file's text: the service runs as `user` (its own group too), with
// a umask that keeps logs and database from other users, no way to gain
// privileges, the whole file system read-only but the instance folder, a
// private /tmp, a descriptor limit for many connections, and of root's
// powers only binding the privileged ports 104 and 80.
std::string UnitText(const std::string& executable, const std::string& programFolder,
                     const std::string& user = kServiceUser);

// The account for an instance: the owner of `programFolder` when that is not
// root, else kServiceUser.
std::string ServiceUserFor(const std::string& programFolder);

// Writes the unit into `folder` and enables it (the multi-user.target.wants
// link). In the system's unit folder, run by root, it also creates the
// system account kServiceUser when the unit names it and it does not exist,
// and gives it the instance folder. On failure returns false with the
// reason in `error`.
bool InstallUnit(const std::string& folder, const std::string& executable, const std::string& programFolder,
                 std::string& error);

// Removes the unit and its link; false with a reason when it was not installed.
bool UninstallUnit(const std::string& folder, std::string& error);

}  // namespace tarvelin
