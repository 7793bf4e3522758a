#pragma once
// The DICOM component of the service: the start and stop hooks that the
// executable hands to ServiceStart and ServiceStop.
#include <string>

// Starts the listener thread on `port` (a number or a service name). A port
// that cannot be listened on is reported by the listener, which then ends.
void StartDicomListener(const std::string& port);

// Asks the listener to end and wakes its blocking accept with a connection
// to its own port. Associations still running are not waited for.
void StopDicomListener();
