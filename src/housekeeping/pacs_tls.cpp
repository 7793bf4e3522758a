#include "housekeeping/pacs_tls.h"

#include <string>

#include "service/log.h"
#include "service/settings.h"

namespace tarvelin {

PacsTls PacsTlsFromSettings() {
  const ServerSettingsRecord& s = ServerSettings;
  PacsTls result;
  if (!s.PACS_TLS) return result;
  std::string error;
  result.Context = TlsContext::Create(
      TlsContext::Side::Requestor,
      {InstanceFile(s.PACS_TLSCert), InstanceFile(s.PACS_TLSKey), InstanceFile(s.PACS_TLSCAFile)}, error);
  if (!result.Context) {
    WriteLog("ERROR, PACS TLS, " + error + "; the PACS is not asked");
    result.Usable = false;
  }
  return result;
}

}  // namespace tarvelin
