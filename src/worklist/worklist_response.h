#pragma once
// Builds worklist response identifiers from a (shaped) request identifier and
// the rows of the worklist SELECT. A response mirrors the request entry for
// entry, in the request's order: attributes a column answers are filled from
// the row, the others come back with zero length, whatever the request held.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dicom/dcmobj.h"
#include "dicom/dcmtag.h"
#include "platform/transcoder.h"
#include "worklist/worklist_row.h"

namespace tarvelin {

// The response to one request, built once and filled again for every row:
// its shape depends on the request only, so a row costs no new elements, only
// values written into the ones there are.
class WorklistResponse {
 public:
  // Appends to `response` one entry per entry of `request`, recursively for
  // sequences and items (group length elements are dropped), for rows read
  // through `row`'s column list. Values are answered through `stored`
  // (stored text to the answer's set, whose defined term `charsetTerm` is
  // the (0008,0005) value); nullptr answers the stored bytes. Request,
  // response and transcoder must outlive this object; `response` is not
  // changed otherwise.
  WorklistResponse(const DcmObj& request, DcmObj& response, const WorklistRow& row,
                   const std::string& charsetTerm = "ISO_IR 100", Transcoder* stored = nullptr);
  // Gives every element of the response its value from `row` (the row
  // object given at construction, or one with the same column list).
  void Fill(const WorklistRow& row);

 // Where an element's value comes from, resolved against the column list
  // once: a row is then read by position.
  struct Source {
    enum class Rule { Nothing, CharacterSet, Column, RequestedOrStep, StepDescription };
    Rule How = Rule::Nothing;
    int Column = -1;
    int Fallback = -1;  // SPSDescription, for an empty requested description
  };

 private:
  // An element of the response, the request element it mirrors and the
  // source of its value.
  struct Slot {
    const DcmTag* Request;
    DcmTag* Response;
    Source From;
    std::uint8_t Pad;  // completes an odd-length value: 0 for UIDs, else a space
  };
  void Build(const DcmObj& request, DcmObj& response, const WorklistRow& row);

  // The value to answer for `slot`: `value` itself, or its conversion into
  // the answer's set (a WARNING line when characters had to become "?").
  std::string_view Answered(const Slot& slot, std::string_view value);

  std::vector<Slot> slots_;
  std::string charsetTerm_;
  Transcoder* stored_;
  std::string converted_;  // reused for every converted value
  std::string logLine_;  // reused for every row's log line
};

// Builds the response for one row (the response for a single row).
void CreateWLResponse(const DcmObj& request, DcmObj& response, const WorklistRow& row);

}  // namespace tarvelin
