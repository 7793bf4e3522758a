#include "worklist/worklist_response.h"

#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "service/log.h"
#include "service/settings.h"
#include "worklist/query_refusal.h"

namespace tarvelin {

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
    {0x0010, 0x2000, "MedicalAlerts"},
    {0x0010, 0x4000, "PatientState"},
    {0x0020, 0x000D, "StudyInstanceUID"},
    {0x0040, 0x0001, "ScheduledStation"},
    {0x0040, 0x0002, "SPSDate"},
    {0x0040, 0x0003, "SPSTime"},
    {0x0040, 0x0006, "PerformingPhysician"},
    {0x0040, 0x0009, "SPSID"},
    {0x0040, 0x0010, "ScheduledStation"},
    {0x0040, 0x0020, "SPSStatus"},
    {0x0040, 0x1001, "RequestedProcedureID"},
    {0x0040, 0x1003, "RequestedProcedurePriority"},
    {0x0040, 0x1004, "PatientTransport"},
};

// Field n (from 1) of `text` cut at "^", or "" when there is none.
std::string_view CaretField(std::string_view text, int n) {
  for (int i = 1; i < n; ++i) {
    const auto caret = text.find('^');
    if (caret == std::string_view::npos) return {};
    text.remove_prefix(caret + 1);
  }
  return text.substr(0, text.find('^'));
}

// A description coded as "code^text^scheme^display" answers with its display
// part, or its text part when the display part is empty.
std::string_view StepDescription(std::string_view description) {
  if (description.find('^') == std::string_view::npos) return description;
  const std::string_view display = CaretField(description, 4);
  return display.empty() ? CaretField(description, 2) : display;
}

// The element's value: `length` bytes and, for an odd length, `pad`. The
// buffer of the previous row's value is reused.
void SetValue(DcmTag& element, const void* bytes, std::size_t length, std::uint8_t pad) {
  const std::size_t size = length + length % 2;
  element.Data.resize(size);
  if (length > 0) std::memcpy(element.Data.data(), bytes, length);
  if (size != length) element.Data[length] = pad;
  element.Length = static_cast<std::uint32_t>(size);
}

using Source = WorklistResponse::Source;

Source SourceOf(const DcmTag& element, const WorklistRow& row) {
  using Rule = Source::Rule;
  if (element.Is(0x0008, 0x0005)) return {Rule::CharacterSet};
  if (element.Is(0x0032, 0x1060))
    return {Rule::RequestedOrStep, row.Index("RequestedProcedureDescription"), row.Index("SPSDescription")};
  if (element.Is(0x0040, 0x0007)) return {Rule::StepDescription, row.Index("SPSDescription")};
  for (const ResponseColumn& c : ResponseColumns)
    if (element.Is(c.Group, c.Element)) return {Rule::Column, row.Index(c.Column)};
  return {};
}

// The value the row gives ("" when no column answers); it points into the
// row or into constant text.
std::string_view ValueFrom(const Source& source, const WorklistRow& row, const std::string& charsetTerm) {
  switch (source.How) {
    case Source::Rule::CharacterSet:
      return charsetTerm;
    case Source::Rule::Column:
      return row.Value(source.Column);
    case Source::Rule::RequestedOrStep: {
      const std::string_view requested = row.Value(source.Column);
      return requested.empty() ? row.Value(source.Fallback) : requested;
    }
    case Source::Rule::StepDescription:
      return StepDescription(row.Value(source.Column));
    case Source::Rule::Nothing:
      break;
  }
  return {};
}

}  // namespace

WorklistResponse::WorklistResponse(const DcmObj& request, DcmObj& response, const WorklistRow& row,
                                   const std::string& charsetTerm, Transcoder* stored)
    : charsetTerm_(charsetTerm), stored_(stored && !stored->Identity() ? stored : nullptr) {
  Build(request, response, row);
}

void WorklistResponse::Build(const DcmObj& request, DcmObj& response, const WorklistRow& row) {
  for (const DcmEntry& entry : request.Entries) {
    if (entry.IsObj()) {
      const DcmTag& header = entry.Obj->Header;
      auto child = std::make_unique<DcmObj>();
      child->ExplicitVR = response.ExplicitVR;
      child->Header.Group = header.Group;
      child->Header.Element = header.Element;
      try {
        Build(*entry.Obj, *child, row);
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
    if (element.Element == 0x0000) continue;  // group lengths would no longer be right
    // The element with the dictionary's VR (an unknown one of undefined
    // length taken for a sequence); its value comes with each row.
    const std::uint32_t length = element.Length == UndefinedLength ? UndefinedLength : 0;
    response.Add(DcmTag(element.Group, element.Element, length, nullptr));
    DcmTag* answer = response.Entries.back().Tag.get();
    slots_.push_back({&element, answer, SourceOf(element, row), answer->IsVR("UI") ? std::uint8_t(0x00) : std::uint8_t(0x20)});
  }
}

void WorklistResponse::Fill(const WorklistRow& row) {
  for (const Slot& slot : slots_) {
    const DcmTag& element = *slot.Request;
    const std::string_view stored = ValueFrom(slot.From, row, charsetTerm_);
    if (element.Is(0x0010, 0x0010) && !stored.empty() && ServerSettings.LogLevel > 0) {
      logLine_.assign("INFO, CreateWLResponse, Patient=").append(stored);  // the log holds stored text
      WriteLog(logLine_);
    }
    const std::string_view value = Answered(slot, stored);
    // Never the request's own value: a modality would show it as the entry's.
    SetValue(*slot.Response, value.data(), value.size(), slot.Pad);
    if (value.empty() && element.Length == UndefinedLength) slot.Response->Length = UndefinedLength;
  }
}

std::string_view WorklistResponse::Answered(const Slot& slot, std::string_view value) {
  // UIDs and the term itself are ASCII by definition.
  if (!stored_ || value.empty() || slot.Pad == 0x00 || slot.From.How == Source::Rule::CharacterSet) return value;
  const Transcoder::Outcome outcome = stored_->Convert(value, converted_);
  if (!outcome.Valid)
    WriteLog("WARNING, CreateWLResponse, " + TagText(TagNumber(slot.Request->Group, slot.Request->Element)) + " holds bytes that are not stored text; answered empty");
  else if (outcome.Replaced > 0)
    WriteLog("WARNING, CreateWLResponse, " + TagText(TagNumber(slot.Request->Group, slot.Request->Element)) + " holds " + std::to_string(outcome.Replaced) +
             " character(s) that " + charsetTerm_ + " lacks; answered as ?");
  return converted_;
}

void CreateWLResponse(const DcmObj& request, DcmObj& response, const WorklistRow& row) {
  WorklistResponse(request, response, row).Fill(row);
}

}  // namespace tarvelin
