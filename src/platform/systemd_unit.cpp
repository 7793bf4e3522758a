#include "platform/systemd_unit.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace tarvelin {

namespace fs = std::filesystem;

namespace {
constexpr char kDefaultUnitFolder[] = "/etc/systemd/system";

fs::path UnitPath(const std::string& folder) { return fs::path(folder) / (std::string(kServiceName) + ".service"); }
fs::path WantsLink(const std::string& folder) {
  return fs::path(folder) / "multi-user.target.wants" / (std::string(kServiceName) + ".service");
}

// One ExecStart word: quoted, with the characters systemd treats specially escaped.
std::string UnitWord(const std::string& word) {
  std::string out = "\"";
  for (char c : word) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '%') out += '%';
    if (c == '$') out += '$';
    out += c;
  }
  return out + "\"";
}

// A path for a setting that takes paths: quoted, with "%" doubled.
std::string PathWord(const std::string& path) {
  std::string out = "\"";
  for (char c : path) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  return out + "\"";
}

// The system account the unit runs as, created like the package's.
bool EnsureServiceUser(const std::string& programFolder, std::string& error) {
  if (::getpwnam(kServiceUser) == nullptr &&
      std::system("useradd --system --user-group --no-create-home --shell /usr/sbin/nologin tarvelin") != 0) {
    error = "cannot create the system user " + std::string(kServiceUser);
    return false;
  }
  const passwd* account = ::getpwnam(kServiceUser);
  if (account == nullptr) {
    error = "no system user " + std::string(kServiceUser);
    return false;
  }
  std::error_code ec;
  for (fs::recursive_directory_iterator it(programFolder, ec), end; !ec && it != end; it.increment(ec))
    if (::lchown(it->path().c_str(), account->pw_uid, account->pw_gid) != 0) ec.assign(errno, std::generic_category());
  if (!ec && ::lchown(programFolder.c_str(), account->pw_uid, account->pw_gid) != 0)
    ec.assign(errno, std::generic_category());
  if (ec) {
    error = "cannot give " + programFolder + " to " + kServiceUser + ": " + ec.message();
    return false;
  }
  return true;
}

// systemd reads the default folder only after a reload; a test folder needs none.
void ReloadSystemd(const std::string& folder) {
  if (folder == kDefaultUnitFolder && fs::exists("/run/systemd/system"))
    (void)std::system("systemctl daemon-reload >/dev/null 2>&1");
}
}  // namespace

std::string UnitFolder() {
  const char* env = std::getenv("TARVELIN_UNIT_DIR");
  return env && *env ? env : kDefaultUnitFolder;
}

std::string UnitText(const std::string& executable, const std::string& programFolder, const std::string& user) {
  return "[Unit]\n"
         "Description=" + std::string(kServiceDisplayName) + "\n"
         "After=network.target\n"
         "\n"
         "[Service]\n"
         "Type=simple\n"
         "User=" + user + "\n"
         "Group=" + user + "\n"
         "ExecStart=" + UnitWord(executable) + " --home " + UnitWord(programFolder) + "\n"
         "Restart=on-failure\n"
         "UMask=0027\n"
         "LimitNOFILE=65536\n"
         "AmbientCapabilities=CAP_NET_BIND_SERVICE\n"
         "CapabilityBoundingSet=CAP_NET_BIND_SERVICE\n"
         "NoNewPrivileges=yes\n"
         "ProtectSystem=strict\n"
         "ReadWritePaths=" + PathWord(programFolder) + "\n"
         "PrivateTmp=yes\n"
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

std::string ServiceUserFor(const std::string& programFolder) {
  struct stat owner {};
  if (::stat(programFolder.c_str(), &owner) != 0 || owner.st_uid == 0) return kServiceUser;
  const passwd* account = ::getpwuid(owner.st_uid);
  return account ? account->pw_name : kServiceUser;
}

bool InstallUnit(const std::string& folder, const std::string& executable, const std::string& programFolder,
                 std::string& error) {
  const std::string user = ServiceUserFor(programFolder);
  if (folder == kDefaultUnitFolder && ::geteuid() == 0 && user == kServiceUser &&
      !EnsureServiceUser(programFolder, error))
    return false;
  std::error_code ec;
  fs::create_directories(WantsLink(folder).parent_path(), ec);
  const fs::path unit = UnitPath(folder);
  {
    errno = 0;
    std::ofstream out(unit, std::ios::trunc);
    out << UnitText(executable, programFolder, user);
    if (!out.flush()) {
      error = "cannot write " + unit.string() + (errno ? std::string(": ") + std::strerror(errno) : "");
      return false;
    }
  }
  fs::remove(WantsLink(folder), ec);
  fs::create_symlink(fs::path("..") / unit.filename(), WantsLink(folder), ec);
  if (ec) {
    error = "cannot enable " + unit.string() + ": " + ec.message();
    return false;
  }
  ReloadSystemd(folder);
  return true;
}

bool UninstallUnit(const std::string& folder, std::string& error) {
  std::error_code ec;
  fs::remove(WantsLink(folder), ec);
  const fs::path unit = UnitPath(folder);
  if (!fs::exists(unit)) {
    error = "the service is not installed (" + unit.string() + " not found)";
    return false;
  }
  if (!fs::remove(unit, ec) || ec) {
    error = "cannot remove " + unit.string() + ": " + ec.message();
    return false;
  }
  ReloadSystemd(folder);
  return true;
}

}  // namespace tarvelin
