#include "setup/running_server.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/ini_file.h"
#include "setup/instance.h"

namespace tarvelin {

namespace {
// Connecting to a loopback port gets its answer (accepted or refused) at once.
bool Answers(const std::string& port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* found = nullptr;
  // A service name from /etc/services, as the server itself accepts one.
  if (getaddrinfo("127.0.0.1", port.c_str(), &hints, &found) != 0) return false;
  bool answers = false;
  for (const addrinfo* a = found; a && !answers; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    answers = connect(fd, a->ai_addr, a->ai_addrlen) == 0;
    close(fd);
  }
  freeaddrinfo(found);
  return answers;
}
}  // namespace

std::string AnsweringServerPort(const std::string& dir) {
  const IniFile ini(InstanceIniPath(dir));
  for (const std::string& port : {ini.ReadString("TRVSVC", "WL_Port", "104"), ini.ReadString("TRVSVC", "WLTLSPort", "")})
    if (!port.empty() && Answers(port)) return port;
  return "";
}

}  // namespace tarvelin
