#pragma once
// Whether the server of an instance runs on this host. The server keeps no
// pid file; while it runs its DICOM port answers (on every address, so also
// on the loopback address), and nothing else may take that port.
#include <string>

namespace tarvelin {

// The instance's DICOM port (WL_Port, or WLTLSPort when set) that accepts a
// connection on 127.0.0.1; "" when none does.
std::string AnsweringServerPort(const std::string& dir);

}  // namespace tarvelin
