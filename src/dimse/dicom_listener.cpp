#include "dimse/dicom_listener.h"

#include <memory>

#include "dimse/server_thread.h"
#include "service/settings.h"

namespace {
// The running listener (DicomListener of the service), or none.
std::unique_ptr<ServerThread> listener;
}  // namespace

void StartDicomListener(const std::string& port) {
  StopDicomListener();
  auto started = std::make_unique<ServerThread>(port, ServerSettings.MaxAssociations);
  if (started->Start()) listener = std::move(started);
}

void StopDicomListener() { listener.reset(); }
