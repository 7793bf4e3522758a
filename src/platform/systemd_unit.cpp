#include "platform/systemd_unit.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

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

std::string UnitText(const std::string& executable, const std::string& programFolder) {
  return "[Unit]\n"
         "Description=" + std::string(kServiceDisplayName) + "\n"
         "After=network.target\n"
         "\n"
         "[Service]\n"
         "Type=simple\n"
         "ExecStart=" + UnitWord(executable) + " --home " + UnitWord(programFolder) + "\n"
         "Restart=on-failure\n"
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

bool InstallUnit(const std::string& folder, const std::string& executable, const std::string& programFolder,
                 std::string& error) {
  std::error_code ec;
  fs::create_directories(WantsLink(folder).parent_path(), ec);
  const fs::path unit = UnitPath(folder);
  {
    errno = 0;
    std::ofstream out(unit, std::ios::trunc);
    out << UnitText(executable, programFolder);
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
