// What hostile clients cost the running server: a real `tarvelin` child
// process, its memory and descriptors read from /proc.
//
//   1. One, then five at once, C-FIND identifiers of 60 MB of zero-length
//      elements (under the 64 MiB message cap, far over MaxQueryBytes): peak
//      resident memory while they arrive, the status answered, memory after.
//   2. 1,000 silent HL7 connections held open: memory and descriptors, and
//      whether DICOM (echoscu) and the web (curl) still answer meanwhile.
//
//   security_bench [MB per identifier, default 60] [HL7 connections, default 1000]
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "net_test_support.h"
#include "support/child_process.h"
#include "support/free_port.h"
#include "support/running_tarvelin.h"

using namespace tarvelin;
using namespace tarvelin::nettest;
using SteadyClock = std::chrono::steady_clock;

namespace {
constexpr const char* kWorklistFind = "1.2.840.10008.5.1.4.31";
constexpr const char* kImplicitLittle = "1.2.840.10008.1.2";

// The server's process id: the process started with --home HOME.
int ServerPid(const std::string& home) {
  DIR* proc = opendir("/proc");
  int found = 0;
  while (dirent* entry = proc ? readdir(proc) : nullptr) {
    const int pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    const std::string line((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (line.find("tarvelin") != std::string::npos && line.find(home) != std::string::npos &&
        line.find("tarvelin-setup") == std::string::npos)
      found = pid;
  }
  if (proc) closedir(proc);
  return found;
}

// A field of /proc/PID/status in MiB (VmRSS, VmHWM).
double StatusMiB(int pid, const std::string& field) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(file, line);)
    if (line.rfind(field + ":", 0) == 0) return std::atof(line.c_str() + field.size() + 1) / 1024.0;
  return -1;
}

int Descriptors(int pid) {
  int count = 0;
  if (DIR* fds = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
    while (dirent* entry = readdir(fds))
      if (entry->d_name[0] != '.') ++count;
    closedir(fds);
  }
  return count;
}

void Element(std::vector<std::uint8_t>& out, std::uint16_t group, std::uint16_t element,
             const std::vector<std::uint8_t>& value) {
  for (unsigned v : {group & 0xFFu, unsigned(group >> 8), element & 0xFFu, unsigned(element >> 8)})
    out.push_back(static_cast<std::uint8_t>(v));
  const auto length = static_cast<std::uint32_t>(value.size());
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(length >> shift));
  out.insert(out.end(), value.begin(), value.end());
}

std::vector<std::uint8_t> US(unsigned v) { return {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>(v >> 8)}; }

// A C-FIND-RQ command set in implicit VR little endian, with a data set.
std::vector<std::uint8_t> FindCommand() {
  std::vector<std::uint8_t> rest;
  Element(rest, 0x0000, 0x0002, std::vector<std::uint8_t>(kWorklistFind, kWorklistFind + 22));
  Element(rest, 0x0000, 0x0100, US(0x0020));
  Element(rest, 0x0000, 0x0110, US(1));
  Element(rest, 0x0000, 0x0700, US(0));
  Element(rest, 0x0000, 0x0800, US(0x0000));
  std::vector<std::uint8_t> command;
  const auto length = static_cast<std::uint32_t>(rest.size());
  Element(command, 0x0000, 0x0000,
          {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length >> 16),
           static_cast<std::uint8_t>(length >> 24)});
  command.insert(command.end(), rest.begin(), rest.end());
  return command;
}

// Sends one identifier of `megabytes` MB of zero-length private elements;
// the status of the answer ("" when none came).
std::string HugeQuery(int port, int megabytes) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) return "no connection";
  Bytes items = RequestContext(1, kWorklistFind, {kImplicitLittle});
  items.append(UserInfoItem(MaxLengthSubItem(16384)));
  WriteAll(fd, AssociateRQ(items, "TARVELIN", "BENCH").data);
  const std::vector<std::uint8_t> accept = ReadPDU(fd, 10000);
  if (accept.empty() || accept[0] != 0x02) {
    close(fd);
    return "association not accepted";
  }
  WriteAll(fd, PDataPDU(1, 0x03, FindCommand()).data);
  constexpr std::size_t kFragment = 16000;
  std::vector<std::uint8_t> fragment;
  for (std::uint16_t e = 0; fragment.size() < kFragment; ++e) Element(fragment, 0x0011, static_cast<std::uint16_t>(0x1000 + e), {});
  const std::size_t total = static_cast<std::size_t>(megabytes) * 1000 * 1000;
  for (std::size_t sent = 0; sent < total; sent += fragment.size())
    WriteAll(fd, PDataPDU(1, sent + fragment.size() >= total ? 0x02 : 0x00, fragment).data);
  std::string status;
  const std::vector<std::uint8_t> answer = ReadPDU(fd, 30000);
  // (0000,0900) Status in the command set of the answer.
  const std::uint8_t mark[] = {0x00, 0x00, 0x00, 0x09, 0x02, 0x00, 0x00, 0x00};
  for (std::size_t i = 0; i + sizeof mark + 2 <= answer.size(); ++i)
    if (std::equal(mark, mark + sizeof mark, answer.begin() + static_cast<long>(i))) {
      char text[16];
      std::snprintf(text, sizeof text, "%04X", answer[i + 8] | (answer[i + 9] << 8));
      status = text;
      break;
    }
  close(fd);
  return status.empty() ? "no answer" : status;
}

// Runs `work` while sampling the server's resident memory; the peak in MiB.
template <typename Work>
double PeakWhile(int pid, Work work) {
  std::atomic<bool> done{false};
  double peak = StatusMiB(pid, "VmRSS");
  std::thread sampler([&] {
    while (!done) {
      peak = std::max(peak, StatusMiB(pid, "VmRSS"));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  work();
  done = true;
  sampler.join();
  return peak;
}

double Seconds(SteadyClock::time_point since) { return std::chrono::duration<double>(SteadyClock::now() - since).count(); }
}  // namespace

int main(int argc, char** argv) {
  const int megabytes = argc > 1 ? std::atoi(argv[1]) : 60;
  const int hl7Connections = argc > 2 ? std::atoi(argv[2]) : 1000;
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);

  TarvelinInstance server("securitybench");
  if (const std::string problem = server.InitWithSetupTool("bench admin password"); !problem.empty()) {
    std::fprintf(stderr, "set-up failed: %s\n", problem.c_str());
    return 1;
  }
  if (!server.Start() || !server.WaitForLog("Initialized WEB server at port", 1, 20000)) {
    std::fprintf(stderr, "the server did not start: %s\n", server.Console().c_str());
    return 1;
  }
  const int pid = ServerPid(server.Home());
  if (pid == 0) {
    std::fprintf(stderr, "server process not found\n");
    return 1;
  }
  std::printf("tarvelin pid %d, resident %.1f MiB, %d descriptors at rest\n\n", pid, StatusMiB(pid, "VmRSS"),
              Descriptors(pid));

  for (int clients : {1, 5}) {
    std::vector<std::string> statuses(static_cast<std::size_t>(clients));
    const auto start = SteadyClock::now();
    const double peak = PeakWhile(pid, [&] {
      std::vector<std::thread> senders;
      for (int i = 0; i < clients; ++i)
        senders.emplace_back([&, i] { statuses[static_cast<std::size_t>(i)] = HugeQuery(server.DicomPort(), megabytes); });
      for (auto& sender : senders) sender.join();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::printf("%d x %d MB C-FIND identifier%s: answered status %s in %.1f s; peak resident %.1f MiB, after %.1f MiB\n",
                clients, megabytes, clients > 1 ? "s at once" : "", statuses[0].c_str(), Seconds(start), peak,
                StatusMiB(pid, "VmRSS"));
  }

  std::vector<int> held;
  const auto start = SteadyClock::now();
  for (int i = 0; i < hl7Connections; ++i)
    if (const int fd = ConnectLoopback(server.HL7Port()); fd >= 0) held.push_back(fd);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  int open = 0;
  for (int fd : held) {
    char byte;
    if (recv(fd, &byte, 1, MSG_DONTWAIT) < 0 && errno == EAGAIN) ++open;
  }
  std::printf("\n%zu idle HL7 connections made in %.1f s: %d kept open by the server (MaxHL7Connections), the rest "
              "closed\n",
              held.size(), Seconds(start), open);
  std::printf("  server resident %.1f MiB, %d descriptors\n", StatusMiB(pid, "VmRSS"), Descriptors(pid));
  auto timed = SteadyClock::now();
  const PeerResult echo = RunPeer("echoscu 127.0.0.1 " + std::to_string(server.DicomPort()), 30);
  std::printf("  meanwhile echoscu: %s in %.2f s\n", echo.ExitCode == 0 ? "ok" : "FAILED", Seconds(timed));
  timed = SteadyClock::now();
  const PeerResult web = RunPeer("curl -s -o /dev/null -w '%{http_code}' -u 'admin:bench admin password' http://127.0.0.1:" +
                                     std::to_string(server.WebPort()) + "/",
                                 30);
  std::printf("  meanwhile the web: HTTP %s in %.2f s\n", web.Output.c_str(), Seconds(timed));
  for (int fd : held) close(fd);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  std::printf("  after closing them: resident %.1f MiB, %d descriptors; peak of the whole run %.1f MiB\n",
              StatusMiB(pid, "VmRSS"), Descriptors(pid), StatusMiB(pid, "VmHWM"));
  return 0;
}
