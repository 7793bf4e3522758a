#include "bench_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/free_port.h"

extern char** environ;

namespace tarvelin {

namespace {

// Fields 14-17 of /proc/<pid>/stat (utime, stime, cutime, cstime) and 4 (ppid).
struct StatTimes {
  long long Own = 0;
  long long Children = 0;
  pid_t Parent = 0;
  bool Valid = false;
};

StatTimes ReadStat(const std::string& path) {
  StatTimes times;
  std::ifstream file(path);
  std::string text;
  std::getline(file, text);
  const auto close = text.rfind(')');
  if (close == std::string::npos) return times;
  std::istringstream fields(text.substr(close + 2));
  std::vector<std::string> f;
  for (std::string field; fields >> field;) f.push_back(field);
  if (f.size() < 15) return times;
  // f[0] is field 3 (state).
  times.Parent = static_cast<pid_t>(std::stoll(f[1]));
  times.Own = std::stoll(f[11]) + std::stoll(f[12]);
  times.Children = std::stoll(f[13]) + std::stoll(f[14]);
  times.Valid = true;
  return times;
}

}  // namespace

pid_t Spawn(const std::vector<std::string>& argv, const std::string& output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string target = output.empty() ? "/dev/null" : output;
  posix_spawn_file_actions_addopen(&actions, 1, target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // The benchmark ignores SIGPIPE (see main); its children get the default.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ) != 0) pid = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int WaitExit(pid_t pid) {
  if (pid <= 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunQuietly(const std::vector<std::string>& argv) { return WaitExit(Spawn(argv)); }

void StopProcess(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 50; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(pid, SIGKILL);
  WaitExit(pid);
}

double ProcessCpuSeconds(pid_t pid) {
  const StatTimes self = ReadStat("/proc/" + std::to_string(pid) + "/stat");
  // Clock ticks (10 ms) are too coarse for a server that answers a query in
  // a fraction of a millisecond: the process's own time (its threads, ended
  // ones included) comes from its CPU-time clock in nanoseconds, that of its
  // child processes (wlmscpfs forks one per association) in ticks.
  double ownSeconds = static_cast<double>(self.Own) / static_cast<double>(sysconf(_SC_CLK_TCK));
  clockid_t clock;
  timespec used{};
  if (clock_getcpuclockid(pid, &clock) == 0 && clock_gettime(clock, &used) == 0)
    ownSeconds = static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
  long long ticks = self.Children;
  if (DIR* proc = opendir("/proc")) {
    while (dirent* entry = readdir(proc)) {
      const pid_t child = static_cast<pid_t>(std::atoi(entry->d_name));
      if (child <= 0 || child == pid) continue;
      const StatTimes t = ReadStat("/proc/" + std::to_string(child) + "/stat");
      if (t.Valid && t.Parent == pid) ticks += t.Own;
    }
    closedir(proc);
  }
  return ownSeconds + static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool WaitForPort(int port, double timeoutSeconds) {
  const double until = Seconds() + timeoutSeconds;
  while (Seconds() < until) {
    if (PortAccepts(port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace tarvelin
