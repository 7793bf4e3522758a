#include "worklist/mpps.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <utility>

#include "db/performed_step_db.h"
#include "db/sps_status.h"
#include "db/sqldb.h"
#include "db/stored_text.h"
#include "dicom/bufdata.h"
#include "dicom/dataset_text.h"
#include "dicom/uid.h"
#include "platform/charset_names.h"
#include "platform/transcoder.h"
#include "service/audit_trail.h"
#include "service/log.h"
#include "service/settings.h"
#include "worklist/query_charsets.h"
#include "worklist/query_refusal.h"

namespace tarvelin {

namespace {

constexpr std::uint32_t Key(std::uint16_t group, std::uint16_t element) {
  return static_cast<std::uint32_t>(group) << 16 | element;
}

constexpr std::uint32_t kStatusTag = Key(0x0040, 0x0252);
constexpr std::uint32_t kStepSequenceTag = Key(0x0040, 0x0270);
constexpr std::uint32_t kStudyUIDTag = Key(0x0020, 0x000D);
constexpr std::uint32_t kCharsetTag = Key(0x0008, 0x0005);

// The attributes an N-SET may change: those of the performed step's end,
// description, performed series, radiation dose and billing. Patient,
// scheduled step, start and station attributes are fixed at the N-CREATE.
const std::set<std::uint32_t>& SettableAttributes() {
  static const std::set<std::uint32_t> settable{
      Key(0x0008, 0x1032),  // Procedure Code Sequence
      Key(0x0018, 0x115E),  // Image and Fluoroscopy Area Dose Product
      Key(0x0040, 0x0250),  // Performed Procedure Step End Date
      Key(0x0040, 0x0251),  // Performed Procedure Step End Time
      kStatusTag,           // Performed Procedure Step Status
      Key(0x0040, 0x0254),  // Performed Procedure Step Description
      Key(0x0040, 0x0255),  // Performed Procedure Type Description
      Key(0x0040, 0x0260),  // Performed Protocol Code Sequence
      Key(0x0040, 0x0280),  // Comments on the Performed Procedure Step
      Key(0x0040, 0x0281),  // Performed Procedure Step Discontinuation Reason Code Sequence
      Key(0x0040, 0x0300),  // Total Time of Fluoroscopy
      Key(0x0040, 0x0301),  // Total Number of Exposures
      Key(0x0040, 0x0302),  // Entrance Dose
      Key(0x0040, 0x0303),  // Exposed Area
      Key(0x0040, 0x0306),  // Distance Source to Entrance
      Key(0x0040, 0x030E),  // Exposure Dose Sequence
      Key(0x0040, 0x0310),  // Comments on Radiation Dose
      Key(0x0040, 0x0320),  // Billing Procedure Step Sequence
      Key(0x0040, 0x0321),  // Film Consumption Sequence
      Key(0x0040, 0x0324),  // Billing Supplies and Devices Sequence
      Key(0x0040, 0x0340),  // Performed Series Sequence
  };
  return settable;
}

std::uint32_t EntryKey(const DcmEntry& entry) {
  const DcmTag& tag = entry.HeaderTag();
  return Key(tag.Group, tag.Element);
}

bool IsStepStatus(const std::string& status) {
  return status == kInProgress || status == kCompleted || status == kDiscontinued;
}

ProcedureStepOutcome Outcome(std::uint16_t status, std::vector<std::uint32_t> attributes = {}) {
  return {status, std::move(attributes)};
}

// The data set in the transfer syntax it arrived in, so it reads back as sent.
std::string Encode(DcmObj& dataset) {
  BufData buffer;
  buffer.WriteObj(dataset);
  return std::string(buffer.Stream.Bytes.begin(), buffer.Stream.Bytes.end());
}

bool Decode(const PerformedStep& step, DcmObj& dataset) {
  dataset.TransferSyntax = step.TransferSyntax;
  dataset.ExplicitVR = step.TransferSyntax == UID_ImplicitVRLittleEndian ? 0 : 1;
  BufData buffer(reinterpret_cast<const std::uint8_t*>(step.DataSet.data()), step.DataSet.size());
  buffer.BigEndian = step.TransferSyntax == UID_ExplicitVRBigEndian ? 1 : 0;
  return buffer.ReadOjb(dataset);
}

// The N-SET's settable attributes replace (or join) the stored ones, in tag order.
void Merge(DcmObj& stored, DcmObj& changes, const std::string& sopInstanceUID) {
  std::set<std::uint32_t> replaced;
  std::vector<DcmEntry> incoming;
  for (DcmEntry& entry : changes.Entries) {
    const std::uint32_t key = EntryKey(entry);
    // Group lengths are the encoder's; both sides' text is in the stored set.
    if ((key & 0xFFFF) == 0 || key == kCharsetTag) continue;
    if (!SettableAttributes().count(key)) {
      char text[16];
      std::snprintf(text, sizeof text, "(%04X,%04X)", key >> 16, key & 0xFFFF);
      WriteLog(std::string("WARNING, SetMPPS, ") + sopInstanceUID + ": " + text + " may not be set, ignored");
      continue;
    }
    replaced.insert(key);
    incoming.push_back(std::move(entry));
  }
  std::vector<DcmEntry> merged;
  for (DcmEntry& entry : stored.Entries)
    if (!replaced.count(EntryKey(entry))) merged.push_back(std::move(entry));
  std::move(incoming.begin(), incoming.end(), std::back_inserter(merged));
  std::stable_sort(merged.begin(), merged.end(),
                   [](const DcmEntry& a, const DcmEntry& b) { return EntryKey(a) < EntryKey(b); });
  stored.Entries = std::move(merged);
}

// Takes the text of `dataset` into the stored set and labels it so. 0 when
// done, else the tag of the first value that is not text of its set (logged).
std::uint32_t ToStoredText(DcmObj& dataset, const std::string& callingAETitle, const std::string& operation) {
  const std::string stationTerm = StationCharsetTerm(callingAETitle);
  std::string named;
  const std::string from = DatasetCharset(dataset, IconvNameOfDicomTerm(stationTerm), named);
  if (!named.empty() && !IconvNameOfDicomTerm(named))
    WriteLog("WARNING, " + operation + ", character set " + named + " not supported; read as " + stationTerm);
  Transcoder toStored(from, StoredTextCharset);
  const DatasetTextOutcome outcome = ConvertDatasetText(dataset, toStored, StoredTextTerm);
  if (outcome.Invalid)
    WriteLog("ERROR, " + operation + ", " + TagText(outcome.Invalid) + " is not text of the character set " +
             (named.empty() ? stationTerm : named) + ", refused");
  return outcome.Invalid;
}

void TakeKey(const DcmTag& element, ScheduledStepKeys& keys) {
  if (element.Is(0x0008, 0x0050)) keys.AccessionNumber = element.GetString();
  else if (element.Is(0x0020, 0x000D)) keys.StudyInstanceUID = element.GetString();
  else if (element.Is(0x0040, 0x0009)) keys.SPSID = element.GetString();
}

}  // namespace

std::vector<ScheduledStepKeys> FindScheduledStepKeys(const DcmObj& dataset) {
  std::vector<ScheduledStepKeys> steps;
  for (const DcmEntry& sequence : dataset.Entries) {
    if (!sequence.IsObj() || !sequence.Obj->Header.Is(0x0040, 0x0270)) continue;
    for (const DcmEntry& item : sequence.Obj->Entries) {
      if (!item.IsObj() || !item.Obj->Header.Is(0xFFFE, 0xE000)) continue;
      ScheduledStepKeys& keys = steps.emplace_back();
      for (const DcmEntry& element : item.Obj->Entries)
        if (element.IsTag()) TakeKey(*element.Tag, keys);
    }
  }
  return steps;
}

ProcedureStepOutcome CreateMPPS(DcmObj& dataset, std::string& sopInstanceUID, const std::string& callingAETitle) {
  if (const std::uint32_t invalid = ToStoredText(dataset, callingAETitle, "CreateMPPS"))
    return Outcome(MppsInvalidAttributeValue, {invalid});
  const DcmTag* statusTag = dataset.Find(0x0040, 0x0252);
  const bool hasSequence = std::any_of(dataset.Entries.begin(), dataset.Entries.end(), [](const DcmEntry& e) {
    return EntryKey(e) == kStepSequenceTag;
  });
  const std::vector<ScheduledStepKeys> keys = FindScheduledStepKeys(dataset);
  std::vector<std::uint32_t> missing;
  if (!statusTag) missing.push_back(kStatusTag);
  if (!hasSequence || keys.empty()) missing.push_back(kStepSequenceTag);
  for (const ScheduledStepKeys& k : keys)
    if (k.StudyInstanceUID.empty()) {
      missing.push_back(kStudyUIDTag);
      break;
    }
  if (!missing.empty()) {
    WriteLog("ERROR, CreateMPPS, a required attribute is missing");
    return Outcome(MppsMissingAttribute, missing);
  }
  const std::string status = statusTag->GetString();
  if (status != kInProgress) {
    WriteLog("ERROR, CreateMPPS, status must be IN PROGRESS, not: " + status);
    return Outcome(MppsInvalidAttributeValue, {kStatusTag});
  }
  if (sopInstanceUID.empty()) sopInstanceUID = UniqueUID("2");

  const PerformedStep step{sopInstanceUID, kInProgress, dataset.TransferSyntax, Encode(dataset)};
  std::vector<ScheduledStepRef> refs;
  for (const ScheduledStepKeys& k : keys) refs.push_back({k.AccessionNumber, k.StudyInstanceUID, k.SPSID});

  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) return Outcome(MppsProcessingFailure);
  std::vector<std::string> linked;
  switch (PerformedStepDB::Create(db, step, refs, linked)) {
    case PerformedStepResult::Done: {
      WriteLog("INFO, CreateMPPS, " + sopInstanceUID + " IN PROGRESS" +
               (linked.empty() ? ", unscheduled" : ", for " + std::to_string(linked.size()) + " worklist entr" +
                                                       (linked.size() == 1 ? "y" : "ies")));
      std::string entries;
      for (const std::string& accession : linked) entries += (entries.empty() ? "" : " ") + accession;
      WriteAudit({"mpps-create", AuditAction::Create, true, sopInstanceUID, "mpps",
                  {{"PerformedProcedureStepStatus", "", kInProgress}},
                  linked.empty() ? "unscheduled" : "AccessionNumber=" + entries, dataset.GetString(0x0010, 0x0020),
                  dataset.GetString(0x0010, 0x0010)});
      return Outcome(MppsSuccess);
    }
    case PerformedStepResult::AlreadyExists:
      WriteLog("ERROR, CreateMPPS, SOP Instance UID already created: " + sopInstanceUID);
      return Outcome(MppsDuplicateInstance);
    default:
      return Outcome(MppsProcessingFailure);
  }
}

ProcedureStepOutcome SetMPPS(DcmObj& dataset, const std::string& sopInstanceUID,
                             const std::string& callingAETitle) {
  // Every entry not yet started carries an empty UID: an N-SET naming none
  // finds no step.
  if (sopInstanceUID.empty()) {
    WriteLog("ERROR, SetMPPS, Requested SOP Instance UID is empty");
    return Outcome(MppsNoSuchInstance);
  }
  if (const std::uint32_t invalid = ToStoredText(dataset, callingAETitle, "SetMPPS"))
    return Outcome(MppsInvalidAttributeValue, {invalid});
  const std::string status = dataset.GetString(0x0040, 0x0252);
  if (dataset.Find(0x0040, 0x0252) && !IsStepStatus(status)) {
    WriteLog("ERROR, SetMPPS, " + sopInstanceUID + ": not a status: " + status);
    return Outcome(MppsInvalidAttributeValue, {kStatusTag});
  }
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) return Outcome(MppsProcessingFailure);
  std::string finalStatus, patientId, patientName;
  const auto edit = [&](PerformedStep& step) {
    if (step.Status != kInProgress) {
      WriteLog("ERROR, SetMPPS, " + sopInstanceUID + " is already " + step.Status + ", no N-SET accepted");
      return PerformedStepResult::Finished;
    }
    DcmObj stored;
    // A step kept before text was stored as UTF-8 is still in its own set.
    if (!Decode(step, stored) || ToStoredText(stored, callingAETitle, "SetMPPS") != 0) {
      WriteLog("ERROR, SetMPPS, the stored attributes of " + sopInstanceUID + " cannot be read");
      return PerformedStepResult::Failed;
    }
    Merge(stored, dataset, sopInstanceUID);
    if (!status.empty()) step.Status = status;
    step.DataSet = Encode(stored);
    finalStatus = step.Status;
    patientId = stored.GetString(0x0010, 0x0020);
    patientName = stored.GetString(0x0010, 0x0010);
    return PerformedStepResult::Done;
  };
  switch (PerformedStepDB::Change(db, sopInstanceUID, edit)) {
    case PerformedStepResult::Done: {
      WriteLog("INFO, SetMPPS, " + sopInstanceUID + " " + finalStatus);
      AuditEvent event{"mpps-set", AuditAction::Update, true, sopInstanceUID, "mpps", {}, "", patientId, patientName};
      if (finalStatus != kInProgress)
        event.changes.push_back({"PerformedProcedureStepStatus", kInProgress, finalStatus});
      WriteAudit(event);
      return Outcome(MppsSuccess);
    }
    case PerformedStepResult::NotFound:
      WriteLog("ERROR, SetMPPS, no such performed procedure step: " + sopInstanceUID);
      return Outcome(MppsNoSuchInstance);
    default: return Outcome(MppsProcessingFailure);
  }
}

}  // namespace tarvelin
