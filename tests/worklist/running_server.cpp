#include "running_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "db/sqldb.h"
#include "service/settings.h"
#include "support/free_port.h"

namespace {

const std::string BinDir = TARVELIN_BIN_DIR;

void RunSetupTool(const std::string& arguments) {
  const PeerResult r = RunPeer(ShellQuote(BinDir + "/tarvelin-setup") + " " + arguments);
  ASSERT_EQ(r.ExitCode, 0) << arguments << "\n" << r.Output;
}

}  // namespace

int CountLines(const std::string& text, const std::string& part) {
  std::istringstream lines(text);
  int count = 0;
  for (std::string line; std::getline(lines, line);)
    if (line.find(part) != std::string::npos) ++count;
  return count;
}

void RunningServer::SetUp() {
  char pattern[] = "/tmp/tarvelin-wl-e2e-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  home_ = std::string(pattern) + "/instance";
  dicomPort_ = FreePort();
  RunSetupTool("init " + ShellQuote(home_) + " --admin-password e2e-secret");
  RunSetupTool("config " + ShellQuote(home_) + " TRVSVC WL_Port " + std::to_string(dicomPort_));
  RunSetupTool("config " + ShellQuote(home_) + " TRVSVC HL7Port " + std::to_string(FreePort()));
  RunSetupTool("config " + ShellQuote(home_) + " TRVSVC WEBPort " + std::to_string(FreePort()));
  ServerSettings.ProgramFolder = home_ + "/";
}

void RunningServer::TearDown() {
  if (server_ > 0) {
    kill(server_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100 && waitpid(server_, &status, WNOHANG) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (waitpid(server_, &status, WNOHANG) == 0) {
      kill(server_, SIGKILL);
      waitpid(server_, &status, 0);
    }
  }
  std::filesystem::remove_all(std::filesystem::path(home_).parent_path());
}

void RunningServer::Insert(const WorklistDB& entry) {
  WorklistDB copy = entry;
  SQLdb db("quillat", SQLdb::ReadWrite);
  ASSERT_TRUE(db.IsOpen);
  ASSERT_EQ(copy.Insert(db), 0);
}

void RunningServer::WriteStationFilter(const std::string& text) {
  std::ofstream(home_ + "/wlfilter.txt", std::ios::binary) << text;
}

void RunningServer::Start() {
  server_ = fork();
  ASSERT_GE(server_, 0);
  if (server_ == 0) {
    const std::string program = BinDir + "/tarvelin";
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1);
    execl(program.c_str(), program.c_str(), "--home", home_.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 200 && !PortAccepts(dicomPort_); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(PortAccepts(dicomPort_)) << "tarvelin did not open its DICOM port\n" << ServerLog();
}

PeerResult RunningServer::Findscu(const std::string& arguments) {
  return RunPeer("findscu -W -v -aec TARVELIN " + arguments + " 127.0.0.1 " + std::to_string(dicomPort_));
}

std::string RunningServer::Column(const std::string& accession, const std::string& column) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  std::vector<std::string> rows;
  db.Query("SELECT " + column + " FROM Worklist WHERE AccessionNumber='" + accession + "'", rows);
  return rows.size() == 1 ? rows[0].substr(0, rows[0].size() - 1) : "<no row>";
}

std::string RunningServer::ServerLog() const {
  std::string text;
  for (const auto& file : std::filesystem::directory_iterator(home_ + "/logs")) {
    std::ifstream in(file.path(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    text += content.str();
  }
  return text;
}
