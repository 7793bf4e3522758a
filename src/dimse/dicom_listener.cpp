#include "dimse/dicom_listener.h"

#include <memory>

#include "dimse/server_thread.h"
#include "net/socket.h"

namespace {
// The running listener (DicomListener of the service), or none.
std::unique_ptr<ServerThread> listener;
// How long the stop handler lets the woken listener close its socket.
constexpr int ListenerEndWaitMs = 2000;
}  // namespace

void StartDicomListener(const std::string& port) {
  StopDicomListener();
  listener = std::make_unique<ServerThread>(port);
  listener->Start();
}

void StopDicomListener() {
  if (!listener) return;
  {
    Socket wake;
    listener->Terminate();
    // Only wakes the accept; its outcome does not matter.
    wake.Connect("localhost", listener->Port());
  }
  // A listener that does not end in time keeps its object: its thread still uses it.
  if (listener->WaitFor(ListenerEndWaitMs))
    listener.reset();
  else
    static_cast<void>(listener.release());
}
