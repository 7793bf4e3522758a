#include "support/running_tarvelin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "support/child_process.h"
#include "support/free_port.h"
#include "support/log_file.h"

namespace tarvelin {

namespace {
const std::string BinDir = TARVELIN_BIN_DIR;

// Runs `tarvelin-setup` to its end; "" on exit code 0, else what it printed.
std::string RunSetupTool(const std::vector<std::string>& args) {
  ChildProcess tool(BinDir + "/tarvelin-setup", args);
  if (tool.Started() && RunToEnd(tool) == 0) return "";
  std::string line = "tarvelin-setup";
  for (const std::string& arg : args) line += " " + arg;
  return line + " failed: " + tool.Output() + tool.Errors();
}
}  // namespace

TarvelinInstance::TarvelinInstance(const std::string& tag, int hl7Port)
    : dicomPort_(FreePort()), hl7Port_(hl7Port ? hl7Port : FreePort()), webPort_(FreePort()) {
  if (!schema_.Problem().empty()) {
    ADD_FAILURE() << schema_.Problem();
    return;
  }
  std::string pattern = "/tmp/tarvelin-" + tag + "-XXXXXX";
  if (mkdtemp(pattern.data())) home_ = pattern + "/";
}

TarvelinInstance::~TarvelinInstance() {
  if (server_) {
    Terminate(5000);
    const std::string console = Console();
    server_.reset();  // kills it if it still runs
    if (console.find("Sanitizer") != std::string::npos || console.find("runtime error:") != std::string::npos)
      ADD_FAILURE() << "the server reported:\n" << console;
  }
  if (!home_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
  }
}

void TarvelinInstance::WriteIni(const std::string& extraLines) const {
  std::ofstream ini(home_ + "TRVGUI.ini");
  ini << "[TRVSVC]\n"
      << extraLines << "WL_Port=" << dicomPort_ << "\nHL7Port=" << hl7Port_ << "\nWEBPort=" << webPort_ << "\n";
  const std::string database = DatabaseSetting(Storage());
  if (!database.empty() && extraLines.find("Database=") == std::string::npos)
    ini << "Database=" << database << "\n";
}

std::string TarvelinInstance::InitWithSetupTool(const std::string& adminPassword) const {
  if (home_.empty()) return "no instance folder";
  std::vector<std::string> init{"init", home_, "--admin-password", adminPassword};
  if (const std::string database = DatabaseSetting(Storage()); !database.empty())
    init.insert(init.end(), {"--database", database});
  std::string problem = RunSetupTool(init);
  const std::pair<const char*, int> ports[] = {{"WL_Port", dicomPort_}, {"HL7Port", hl7Port_}, {"WEBPort", webPort_}};
  for (const auto& [key, port] : ports)
    if (problem.empty()) problem = Configure(key, std::to_string(port));
  return problem;
}

std::string TarvelinInstance::Configure(const std::string& key, const std::string& value) const {
  return RunSetupTool({"config", home_, "TRVSVC", key, value});
}

bool TarvelinInstance::Start() {
  if (home_.empty()) return false;
  server_ = std::make_unique<ChildProcess>(BinDir + "/tarvelin", std::vector<std::string>{"--home", home_});
  return server_->Started();
}

bool TarvelinInstance::WaitForLog(const std::function<bool(const std::string&)>& done, int timeoutMs) const {
  WaitUntil([&] { return done(Log()) || !Running(); }, timeoutMs);
  return done(Log());
}

bool TarvelinInstance::WaitForLog(const std::string& needle, int count, int timeoutMs) const {
  return WaitForLog([&](const std::string& log) { return CountOf(log, needle) >= count; }, timeoutMs);
}

bool TarvelinInstance::Terminate(int timeoutMs) {
  if (!server_) return true;
  server_->Signal(SIGTERM);
  return server_->WaitFor(std::chrono::milliseconds(timeoutMs)).has_value();
}

void TarvelinInstance::Kill() {
  if (!server_) return;
  server_->Signal(SIGKILL);
  server_->WaitFor(std::chrono::milliseconds(5000));
}

bool TarvelinInstance::Running() const {
  return server_ && !server_->WaitFor(std::chrono::milliseconds(0)).has_value();
}

int TarvelinInstance::ExitStatus() const {
  return server_ ? server_->WaitFor(std::chrono::milliseconds(0)).value_or(-1) : -1;
}

std::string TarvelinInstance::Log() const { return ReadLogFolder(home_ + "logs"); }

std::string TarvelinInstance::Console() const { return server_ ? server_->Output() + server_->Errors() : ""; }

}  // namespace tarvelin
