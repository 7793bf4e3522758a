#pragma once
// C-ECHO, served: checks an echo request and answers it with success.
#include "dicom/dcmobj.h"

namespace tarvelin {

class PDU_Service;

class CEcho {
 public:
  // True when the command field of `command` is C-ECHO-RQ.
  bool ReadRQ(const DcmObj& command);
  // Writes the C-ECHO-RSP to `request`; false (nothing sent) when the request
  // names no Affected SOP Class UID or the write fails.
  bool WriteRSP(PDU_Service& association, const DcmObj& request);

  // The response command set: the request's SOP class, message ID and data
  // set type echoed, status success. Empty when the request has no SOP class.
  static DcmObj BuildRSP(const DcmObj& request);
};

}  // namespace tarvelin
