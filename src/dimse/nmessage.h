#pragma once
// N-CREATE and N-SET, served: one implementation with two command field
// values. Reading checks the request and reads its data set; writing answers
// with the SOP class and instance, the status and an optional data set.
#include <cstdint>
#include <string>
#include <vector>

#include "dicom/dcmobj.h"

namespace tarvelin {

class PDU_Service;

// The message record: the command field expected on the request (then written
// on the response), the message ID being responded to, the data set type and
// the action type ID (0: not written).
struct NMessageRecord {
  std::uint16_t CommandField = 0;
  std::uint16_t MessageID = 0;
  std::uint16_t DataSetType = 0;
  std::uint16_t ActionTypeID = 0;
};

class NMessage {
 public:
  NMessageRecord Record;

  // True when `command` carries this message's request command field; reads
  // the data set into `dataset` when one follows and an object is given.
  bool ReadRQ(PDU_Service* association, const DcmObj& command, DcmObj* dataset);
  // Answers `request`; `dataset` goes out only when it has entries;
  // `attributes` ((gggg << 16) | eeee each) become the (0000,1005) Attribute
  // Identifier List of a failure. False (nothing logged) when the request is
  // empty or a write fails.
  bool WriteRSP(PDU_Service& association, const DcmObj& request, DcmObj* dataset,
                const std::string& sopInstanceUID, const std::string& sopClassUID,
                std::uint16_t status, const std::vector<std::uint32_t>& attributes = {});

  // The response command set for `request` (the record is updated as sent).
  DcmObj BuildRSP(const DcmObj& request, bool dataSetFollows, const std::string& sopInstanceUID,
                  const std::string& sopClassUID, std::uint16_t status,
                  const std::vector<std::uint32_t>& attributes = {});

 protected:
  NMessage(std::uint16_t requestField, std::uint16_t responseField)
      : requestField_(requestField), responseField_(responseField) {}

 private:
  std::uint16_t requestField_;
  std::uint16_t responseField_;
};

class NCreate : public NMessage {
 public:
  NCreate();
};

class NSet : public NMessage {
 public:
  NSet();
};

}  // namespace tarvelin
