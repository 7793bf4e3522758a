#include "dimse/dicom_listener.h"

#include <memory>

#include "dimse/server_thread.h"
#include "net/tls_context.h"
#include "service/log.h"
#include "service/settings.h"

namespace tarvelin {

namespace {
// The running listeners (DicomListener of the service), or none; the TLS
// context lives as long as the port that uses it.
std::unique_ptr<ServerThread> listener;
std::unique_ptr<ServerThread> secureListener;
std::unique_ptr<TlsContext> secureContext;

// The TLS port when WLTLSPort is set; a certificate that cannot be used
// leaves the plain port running alone.
void StartSecureListener() {
  const ServerSettingsRecord& s = ServerSettings;
  if (s.WLTLSPort.empty()) return;
  std::string error;
  auto context = TlsContext::Create(
      TlsContext::Side::Acceptor,
      {InstanceFile(s.WLTLSCert), InstanceFile(s.WLTLSKey), InstanceFile(s.WLTLSCAFile)}, error);
  if (!context) {
    WriteLog("ERROR: Couldn't initialize DICOM TLS port: " + s.WLTLSPort + ", " + error);
    return;
  }
  auto started = std::make_unique<ServerThread>(s.WLTLSPort, s.MaxAssociations, context.get());
  if (!started->Start()) return;
  secureContext = std::move(context);
  secureListener = std::move(started);
}
}  // namespace

void StartDicomListener(const std::string& port) {
  StopDicomListener();
  auto started = std::make_unique<ServerThread>(port, ServerSettings.MaxAssociations);
  if (started->Start()) listener = std::move(started);
  StartSecureListener();
}

void StopDicomListener() {
  secureListener.reset();
  secureContext.reset();
  listener.reset();
}

}  // namespace tarvelin
