#include "worklist/worklist_identifier.h"

#include <memory>
#include <utility>

#include "dicom/dcmtag.h"
#include "dimse/command_set.h"

namespace tarvelin {

namespace {

constexpr std::uint16_t StepGroup = 0x0040, StepElement = 0x0100;

// The step attributes the server keeps, in tag order: what an empty step
// sequence is answered with.
constexpr std::uint16_t StepAttributes[][2] = {
    {0x0008, 0x0060}, {0x0040, 0x0001}, {0x0040, 0x0002}, {0x0040, 0x0003}, {0x0040, 0x0006},
    {0x0040, 0x0007}, {0x0040, 0x0009}, {0x0040, 0x0010}, {0x0040, 0x0020},
};

std::unique_ptr<DcmObj> FullStepSequence(std::uint8_t explicitVR) {
  auto item = std::make_unique<DcmObj>();
  item->ExplicitVR = explicitVR;
  for (const auto& tag : StepAttributes) item->Add(DcmTag(tag[0], tag[1], 0, nullptr));
  auto sequence = std::make_unique<DcmObj>();
  sequence->ExplicitVR = explicitVR;
  sequence->AddSequence(0xFFFE, 0xE000, std::move(item));
  sequence->Header = DcmTag(StepGroup, StepElement, 0, nullptr, "SQ");
  return sequence;
}

bool HoldsValues(const DcmObj& dataset) {
  for (const DcmEntry& entry : dataset.Entries)
    if (entry.IsObj() ? HoldsValues(*entry.Obj) : entry.Tag->HasValue()) return true;
  return false;
}

QueryRefusal Shape(DcmObj& dataset, std::vector<std::uint32_t>& unsupported) {
  for (DcmEntry& entry : dataset.Entries) {
    const DcmTag& header = entry.HeaderTag();
    const bool step = header.Is(StepGroup, StepElement);
    const std::uint32_t tag = TagNumber(header.Group, header.Element);
    if (entry.IsTag()) {
      if (!step) continue;
      if (entry.Tag->HasValue()) return {Cmd::IdentifierDoesNotMatchSOPClass, "(0040,0100) is not a sequence", tag};
      entry = DcmEntry(FullStepSequence(dataset.ExplicitVR));
      continue;
    }
    DcmObj& sequence = *entry.Obj;
    if (sequence.Count() > 1) return {Cmd::IdentifierDoesNotMatchSOPClass, "more than one item in a sequence key", tag};
    if (step && sequence.Count() == 0) {
      entry = DcmEntry(FullStepSequence(dataset.ExplicitVR));
    } else if (step) {
      if (sequence.Entry(0).IsObj())
        if (QueryRefusal refusal = Shape(*sequence.Entry(0).Obj, unsupported)) return refusal;
    } else {
      if (HoldsValues(sequence)) unsupported.push_back(tag);
      sequence.Clear();
    }
  }
  return {};
}

}  // namespace

QueryRefusal ShapeWorklistIdentifier(DcmObj& identifier, std::vector<std::uint32_t>& unsupported) {
  return Shape(identifier, unsupported);
}

}  // namespace tarvelin
