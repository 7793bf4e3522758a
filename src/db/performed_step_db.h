#pragma once
// The performed procedure steps a modality reports (MPPS), in their own
// tables: one row per step with its status and its attributes as received
// (with every accepted N-SET merged in), and the worklist entries it
// performs. The worklist entries follow their steps under the forward-only
// status rule. All operations run on one open connection, each as one unit.
#include <functional>
#include <string>
#include <vector>

namespace tarvelin {

class SQLdb;

// What a step says about one scheduled step it performs (an item of its
// Scheduled Step Attributes Sequence).
struct ScheduledStepRef {
  std::string AccessionNumber;
  std::string StudyInstanceUID;
  std::string SPSID;
};

struct PerformedStep {
  std::string SOPInstanceUID;
  std::string Status;
  std::string TransferSyntax;  // how DataSet is encoded
  std::string DataSet;         // the encoded attributes (bytes)
};

enum class PerformedStepResult {
  Done,
  AlreadyExists,  // N-CREATE of a SOP Instance UID already created
  NotFound,       // no step with that SOP Instance UID
  Finished,       // the step is no longer IN PROGRESS: it cannot change
  Failed,         // the database failed (logged)
};

class PerformedStepDB {
 public:
  // Stores a new step (status IN PROGRESS) and links it to every worklist
  // entry one of `refs` names by accession number (and, when given, SPS ID
  // and Study Instance UID); those entries move to IN PROGRESS and remember
  // the step in their SOPInstanceUID column when it is their first. A step
  // that matches no entry is kept all the same (unscheduled). `linked`
  // receives the accession numbers linked.
  static PerformedStepResult Create(SQLdb& db, const PerformedStep& step, const std::vector<ScheduledStepRef>& refs,
                                    std::vector<std::string>& linked);
  // Reads a step. NotFound, Done or Failed.
  static PerformedStepResult Load(SQLdb& db, const std::string& sopInstanceUID, PerformedStep& step);
  // Replaces status and attributes of a step that is still IN PROGRESS (the
  // condition is part of the UPDATE). When the new status is final, each
  // linked entry none of whose steps is still IN PROGRESS becomes COMPLETED
  // when one of its steps completed, else DISCONTINUED.
  static PerformedStepResult Update(SQLdb& db, const PerformedStep& step);
  // Reads the step, lets `edit` change it (anything but Done from `edit`
  // stops there and is returned) and Updates it, all in one unit holding the
  // write lock, so concurrent changes of one step apply one after the other.
  // NotFound when there is no such step.
  static PerformedStepResult Change(SQLdb& db, const std::string& sopInstanceUID,
                                    const std::function<PerformedStepResult(PerformedStep&)>& edit);
};

}  // namespace tarvelin
