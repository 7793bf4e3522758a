#pragma once
// The DICOM component of the service: the start and stop hooks that the
// executable hands to ServiceStart and ServiceStop.
#include <string>

// Starts the listener on `port` (a number or a service name), bounded by
// ServerSettings.MaxAssociations. A port that cannot be listened on is
// logged and the service runs without DICOM.
void StartDicomListener(const std::string& port);

// Stops accepting, asks every running association to end and waits for
// their threads (each within its closing wait of at most 2000 ms).
void StopDicomListener();
