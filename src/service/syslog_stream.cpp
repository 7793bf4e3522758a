#include "service/syslog_stream.h"

namespace tarvelin {

namespace {
SyslogStreamFactory& Registered() {
  static SyslogStreamFactory factory;
  return factory;
}
}  // namespace

void SetSyslogTlsFactory(SyslogStreamFactory factory) { Registered() = std::move(factory); }

const SyslogStreamFactory& SyslogTlsFactory() { return Registered(); }

}  // namespace tarvelin
