// tarvelin-setup: creates an instance folder and maintains its settings and users.
#include <iostream>

#include "net/syslog_tls_stream.h"
#include "setup/cli.h"

using namespace tarvelin;

int main(int argc, char** argv) {
  RegisterSyslogTls();  // its changes reach a "tls:" AuditSyslog target too
  try {
    return RunSetup(Args(argv + 1, argv + argc), std::cout, std::cerr);
  } catch (const std::exception& e) {
    return Failure(std::cerr, std::string("unexpected failure: ") + e.what());
  }
}
