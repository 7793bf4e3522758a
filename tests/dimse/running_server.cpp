#include "dimse/running_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Waits for the process to end; `exitStatus` gets its exit code (-1 when killed).
bool WaitForExit(pid_t pid, int timeoutMs, int& exitStatus) {
  int status = 0;
  if (!WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs)) return false;
  exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return true;
}

}  // namespace

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

int RunCommand(const std::string& command, int timeoutSeconds, std::string* output) {
  char outName[] = "/tmp/tarvelin-dimse-out-XXXXXX";
  int outFd = mkstemp(outName);
  if (outFd < 0) return -1;
  close(outFd);
  std::string line = "timeout -k 2 " + std::to_string(timeoutSeconds) + " " + command + " >" +
                     outName + " 2>&1";
  int status = std::system(line.c_str());
  if (output) *output = ReadFile(outName);
  std::remove(outName);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int CountOf(const std::string& text, const std::string& needle) {
  int count = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
    ++count;
  return count;
}

RunningServer::RunningServer() {
  char dir[] = "/tmp/tarvelin-dimse-XXXXXX";
  if (!mkdtemp(dir)) return;
  home_ = std::string(dir) + "/";
  dicomPort_ = FreePort();
  {
    std::ofstream ini(home_ + "TRVGUI.ini");
    ini << "[TRVSVC]\nWL_AET=TARVELIN\nWL_Port=" << dicomPort_ << "\nHL7Port=" << FreePort()
        << "\nWEBPort=" << FreePort() << "\n";
  }
  const std::string binary = std::string(TARVELIN_BIN_DIR) + "/tarvelin";
  const std::string console = home_ + "console.txt";
  pid_ = fork();
  if (pid_ == 0) {
    int fd = open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
    }
    execl(binary.c_str(), "tarvelin", "--home", home_.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  listening_ = pid_ > 0 &&
               WaitForLog("Initialize DICOM port: " + std::to_string(dicomPort_), 1, 10000);
}

RunningServer::~RunningServer() {
  if (pid_ > 0 && !Terminate(5000)) {
    kill(pid_, SIGKILL);
    WaitForExit(pid_, 5000, exitStatus_);
  }
  const std::string console = ReadFile(home_ + "console.txt");
  if (console.find("Sanitizer") != std::string::npos ||
      console.find("runtime error:") != std::string::npos)
    ADD_FAILURE() << "the server reported:\n" << console;
  if (!home_.empty()) {
    std::error_code ignored;
    fs::remove_all(home_, ignored);
  }
}

std::string RunningServer::Log() const {
  std::string all;
  std::error_code ec;
  for (const auto& file : fs::directory_iterator(home_ + "logs", ec)) all += ReadFile(file.path());
  return all;
}

bool RunningServer::WaitForLog(const std::string& needle, int count, int timeoutMs) const {
  return WaitUntil([&] { return CountOf(Log(), needle) >= count; }, timeoutMs);
}

bool RunningServer::Terminate(int timeoutMs) {
  if (pid_ <= 0) return true;
  kill(pid_, SIGTERM);
  if (!WaitForExit(pid_, timeoutMs, exitStatus_)) return false;
  pid_ = -1;
  return true;
}
