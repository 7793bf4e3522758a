#include "worklist/worklist_response.h"

#include <exception>
#include <memory>

#include "service/log.h"
#include "service/settings.h"
#include "service/text.h"

namespace {

// The columns answering each attribute the responses fill.
struct ResponseColumn {
  std::uint16_t Group;
  std::uint16_t Element;
  const char* Column;
};

constexpr ResponseColumn ResponseColumns[] = {
    {0x0008, 0x0050, "AccessionNumber"},
    {0x0008, 0x0060, "Modality"},
    {0x0008, 0x0090, "ReferringPhysician"},
    {0x0010, 0x0010, "PatientName"},
    {0x0010, 0x0020, "PatientID"},
    {0x0010, 0x0030, "PatientBD"},
    {0x0010, 0x0040, "PatientSex"},
    {0x0010, 0x4000, "PatientState"},
    {0x0020, 0x000D, "StudyInstanceUID"},
    {0x0040, 0x0001, "ScheduledStation"},
    {0x0040, 0x0002, "SPSDate"},
    {0x0040, 0x0003, "SPSTime"},
    {0x0040, 0x0006, "PerformingPhysician"},
    {0x0040, 0x0009, "SPSID"},
    {0x0040, 0x0010, "ScheduledStation"},
    {0x0040, 0x1001, "RequestedProcedureID"},
    {0x0040, 0x1003, "RequestedProcedurePriority"},
    {0x0040, 0x1004, "PatientTransport"},
};

// A description coded as "code^text^scheme^display" answers with its display
// part, or its text part when the display part is empty.
std::string StepDescription(const std::string& description) {
  if (description.find('^') == std::string::npos) return description;
  std::string display = Piece(description, "^", 4);
  return display.empty() ? Piece(description, "^", 2) : display;
}

}  // namespace

std::string ResponseValue(const DcmTag& element, const WorklistRow& row) {
  if (element.Is(0x0008, 0x0005)) return "ISO_IR 100";
  if (element.Is(0x0032, 0x1060)) {
    std::string requested = row.Value("RequestedProcedureDescription");
    return requested.empty() ? row.Value("SPSDescription") : requested;
  }
  if (element.Is(0x0040, 0x0007)) return StepDescription(row.Value("SPSDescription"));
  for (const ResponseColumn& c : ResponseColumns)
    if (element.Is(c.Group, c.Element)) return row.Value(c.Column);
  return "";
}

void CreateWLResponse(const DcmObj& request, DcmObj& response, const WorklistRow& row) {
  for (const DcmEntry& entry : request.Entries) {
    if (entry.IsObj()) {
      const DcmTag& header = entry.Obj->Header;
      auto child = std::make_unique<DcmObj>();
      child->ExplicitVR = response.ExplicitVR;
      child->Header.Group = header.Group;
      child->Header.Element = header.Element;
      try {
        CreateWLResponse(*entry.Obj, *child, row);
      } catch (const std::exception& e) {
        // The sequence still goes out with what was built so far.
        WriteLog(std::string("ERROR, CreateWLResponse, ") + e.what());
      }
      // A sequence that came with undefined length goes back the same way.
      child->Header.Length =
          header.Length == UndefinedLength ? UndefinedLength : child->EncodedLength();
      response.AddSequence(header.Group, header.Element, std::move(child));
      continue;
    }
    const DcmTag& element = *entry.Tag;
    const std::string value = ResponseValue(element, row);
    if (element.Is(0x0010, 0x0010) && !value.empty() && ServerSettings.LogLevel > 0)
      WriteLog("INFO, CreateWLResponse, Patient=" + value);
    if (!value.empty())
      response.Add(DcmTag(element.Group, element.Element, value));
    else if (element.Element == 0x0000)
      continue;  // group lengths would no longer be right
    else
      response.Add(DcmTag(element.Group, element.Element, element.Length,
                          element.Data.empty() ? nullptr : element.Data.data()));
  }
}
