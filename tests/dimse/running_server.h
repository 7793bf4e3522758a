#pragma once
// A `tarvelin` process on free ports in its own temporary instance folder,
// for end-to-end tests with external DICOM peers.
#include <string>

#include "support/child_process.h"
#include "support/log_file.h"
#include "support/running_tarvelin.h"

namespace tarvelin {

class RunningServer : public TarvelinInstance {
 public:
  // Writes TRVGUI.ini with free ports, starts the executable and waits until
  // the DICOM listener has logged its port.
  RunningServer() : TarvelinInstance("dimse") {
    WriteIni("WL_AET=TARVELIN\n");
    listening_ = Start() && WaitForLog("Initialize DICOM port: " + std::to_string(DicomPort()), 1, 10000);
  }

  bool Listening() const { return listening_; }

 private:
  bool listening_ = false;
};

}  // namespace tarvelin
