#pragma once
// The DICOM component of the service: the start and stop hooks that the
// executable hands to ServiceStart and ServiceStop.
#include <string>

namespace tarvelin {

// Starts the listener on `port` (a number or a service name), bounded by
// ServerSettings.MaxAssociations, and the TLS listener on WLTLSPort when
// that is set (bounded the same, on its own). A port that cannot be listened
// on, or a TLS certificate that cannot be used, is logged and the service
// runs without it.
void StartDicomListener(const std::string& port);

// Stops accepting, asks every running association to end and waits for
// their threads (each within its closing wait of at most 2000 ms).
void StopDicomListener();

}  // namespace tarvelin
