#include "hl7/orm_orders.h"

#include "db/sps_status.h"
#include "db/sql_savepoint.h"
#include "db/sqldb.h"
#include "db/worklistdb.h"
#include "hl7/order_message.h"
#include "hl7/order_record.h"
#include "hl7/stored_record.h"
#include "service/log.h"

namespace tarvelin {

namespace {

// The acknowledgement texts RIS systems already know for the common refusals.
constexpr const char* kDuplicateText = "WARNING - NW - Duplicate Accession Number";
constexpr const char* kUnknownCaText = "WARNING - CA - Accession Number does not exist";
constexpr const char* kUnknownXoText = "WARNING - XO - Accession Number does not exist";

struct OrderContext {
  SQLdb& db;
  WorklistDB& record;
  OrderRefusal& refusal;
  std::string& ackText;  // MSA-3 for this refusal when it has a known text
  bool& databaseFailed;  // the refusal is the server's fault, not the order's
  AppliedOrder applied = {};  // what the order did; `done` stays "" when it changed nothing
};

bool Refuse(OrderContext& o, const char* segment, int field, int code, const std::string& reason,
            const std::string& ackText = "") {
  o.refusal.segment = segment;
  o.refusal.field = field;
  o.refusal.code = code;
  o.refusal.reason = reason;
  o.ackText = ackText;
  return false;
}

bool Failed(OrderContext& o) {
  o.databaseFailed = true;
  return Refuse(o, "ORC", 1, 207, "the database refused the change: " + o.db.ErrorText);
}

bool Unknown(OrderContext& o, const char* ackText = "") {
  return Refuse(o, "OBR", 18, 204, "no entry with accession number " + o.record.AccessionNumber, ackText);
}

// The same new order sent again (a lost acknowledgement, a resend after AE)
// changes nothing; the accession number of another patient or procedure is
// never merged into the stored one.
bool NewOrder(OrderContext& o) {
  WorklistDB& r = o.record;
  if (!CompleteNewOrder(r, o.refusal)) return false;
  switch (r.Insert(o.db)) {
    case WriteResult::Done:
      o.applied.done = "created";
      return true;
    case WriteResult::AlreadyExists:
      break;
    case WriteResult::Invalid:  // CompleteNewOrder filled every field the store requires
    case WriteResult::Failed:
    default:  // no other result comes from an insert
      return Failed(o);
  }
  WorklistDB stored;
  stored.AccessionNumber = r.AccessionNumber;
  if (!stored.Load(o.db)) return Failed(o);
  if (stored.PatientID == r.PatientID && stored.Modality == r.Modality && stored.SPSDescription == r.SPSDescription) {
    WriteLog("INFO, ParseORM, NW for AccessionNumber=" + r.AccessionNumber + " already stored, nothing changed");
    return true;
  }
  WriteLog("ERROR, ParseORM, NW refused: AccessionNumber=" + r.AccessionNumber + " is used by patient " +
           stored.PatientID + " for " + stored.Modality + " " + stored.SPSDescription);
  return Refuse(o, "OBR", 18, 205,
                "accession number " + r.AccessionNumber + " is already used for another patient or procedure",
                kDuplicateText);
}

bool ChangedOrder(OrderContext& o) {
  switch (o.record.Update(o.db)) {
    case WriteResult::Done:
      o.applied.done = "updated";
      return true;
    case WriteResult::NotFound:
      return Unknown(o, kUnknownXoText);
    case WriteResult::Invalid:  // the order was read with an accession number and no status word
    case WriteResult::Failed:
    default:  // no other result comes from an update
      return Failed(o);
  }
}

// The step leaves the worklist as DISCONTINUED; `how` names the order
// control in the log.
bool Discontinue(OrderContext& o, const std::string& how) {
  std::string before;
  switch (o.record.ChangeStatus(o.db, kDiscontinued, StatusWriter::Workflow(), "", &before)) {
    case WriteResult::Done:
      o.applied.done = kDiscontinued;
      o.applied.oldStatus = before;
      if (before == kInProgress)
        WriteLog("INFO, ParseORM, " + how + " for AccessionNumber=" + o.record.AccessionNumber +
                 ": the step had started, marked DISCONTINUED");
      return true;
    case WriteResult::AlreadySo:
      return true;
    case WriteResult::NotFound:
      return Unknown(o, how == "CA" ? kUnknownCaText : "");
    case WriteResult::Refused:
      return Refuse(o, "ORC", 1, 207, "the step is already " + before + "; it cannot be " + how + "-ed");
    case WriteResult::Invalid:  // the order was read with an accession number
    case WriteResult::Failed:
    default:  // no other result comes from a status change
      break;
  }
  return Failed(o);
}

// A cancelled order that no modality started disappears, as it always did.
bool CancelledOrder(OrderContext& o) {
  switch (o.record.Delete(o.db, kScheduled)) {
    case WriteResult::Done:
      o.applied.done = "deleted";
      return true;
    case WriteResult::NotFound:
      return Unknown(o, kUnknownCaText);
    case WriteResult::Refused:  // started meanwhile: it stays, as DISCONTINUED
      return Discontinue(o, "CA");
    case WriteResult::Invalid:  // the order was read with an accession number
    case WriteResult::Failed:
    default:  // no other result comes from a delete
      return Failed(o);
  }
}

// ORC-5 of an SC message, mapped onto the step's life.
bool StatusChangedOrder(OrderContext& o, const std::string& orderStatus) {
  const char* status = orderStatus == "CM" ? kCompleted
                       : orderStatus == "IP" ? kInProgress
                       : orderStatus == "CA" || orderStatus == "DC" ? kDiscontinued
                                                                    : nullptr;
  if (!status) return Refuse(o, "ORC", 5, 103, "order status (ORC-5) not understood: " + orderStatus);
  std::string before;
  switch (o.record.ChangeStatus(o.db, status, StatusWriter::Workflow(), "", &before)) {
    case WriteResult::Done:
      o.applied.done = status;
      o.applied.oldStatus = before;
      return true;
    case WriteResult::AlreadySo:
      return true;
    case WriteResult::NotFound:
      return Unknown(o);
    case WriteResult::Refused:
      return Refuse(o, "ORC", 5, 207, "the step stays " + before + ": " + status + " would move it back");
    case WriteResult::Invalid:  // the order was read with an accession number
    case WriteResult::Failed:
    default:  // no other result comes from a status change
      break;
  }
  return Failed(o);
}

// A value the worklist's character set cannot hold refuses the order: the
// message's set is at odds with what the server can store.
bool Storable(WorklistDB& record, OrderRefusal& refusal) {
  std::string problem;
  if (ToStoredText(record, problem)) return true;
  refusal.segment = "MSH";
  refusal.field = 18;
  refusal.code = 207;
  refusal.reason = problem;
  return false;
}

bool ApplyOrder(OrderContext& o, const std::string& orc) {
  const std::string control = SegmentField(orc, 1);
  if (control == "NW") return NewOrder(o);
  if (control == "XO") return ChangedOrder(o);
  if (control == "CA") return CancelledOrder(o);
  if (control == "DC" || control == "OC") return Discontinue(o, control);
  if (control == "SC") return StatusChangedOrder(o, SegmentField(orc, 5));
  WriteLog("ERROR, ParseORM, Unknown Command: " + control);
  return Refuse(o, "ORC", 1, 103, "unknown order control (ORC-1): " + control);
}

}  // namespace

OrderAnswer WriteOrders(SQLdb& db, const std::string& message) {
  const OrderMessage parsed = SplitOrderMessage(message);
  OrderAnswer answer;
  if (parsed.orders.empty()) {
    WriteLog("ERROR, ParseORM, no order (ORC/OBR) in the message");
    answer.ack = AckCode::AE;
    answer.text = "ERROR";
    answer.refused.push_back({0, "", "ORC", 0, 100, "the message holds no order (ORC/OBR)"});
    return answer;
  }
  SQLSavepoint unit(db, "OrderMessage");
  if (!unit.Active()) {
    answer.text = "ERROR";
    return answer;  // AR: nothing could be stored, a resend may succeed
  }
  bool databaseFailed = false;
  for (std::size_t i = 0; i < parsed.orders.size(); ++i) {
    WorklistDB record;
    OrderRefusal refusal;
    refusal.order = static_cast<int>(i) + 1;
    std::string ackText;
    OrderContext context{db, record, refusal, ackText, databaseFailed};
    if (ReadOrderRecord(parsed, parsed.orders[i], record, refusal) && Storable(record, refusal) &&
        ApplyOrder(context, parsed.orders[i].orc)) {
      if (!context.applied.done.empty()) {
        context.applied.control = SegmentField(parsed.orders[i].orc, 1);
        context.applied.accession = record.AccessionNumber;
        context.applied.patientId = record.PatientID;
        context.applied.patientName = record.PatientName;
        answer.applied.push_back(std::move(context.applied));
      }
      continue;
    }
    if (refusal.accession.empty()) refusal.accession = record.AccessionNumber;
    WriteLog("ERROR, ParseORM, order " + std::to_string(refusal.order) + " (AccessionNumber=" + refusal.accession +
             ") refused: " + refusal.reason);
    if (answer.refused.empty()) answer.text = ackText.empty() ? "ERROR" : ackText;
    answer.refused.push_back(refusal);
  }
  if (answer.refused.empty() && unit.Release()) {
    answer.ack = AckCode::AA;
    return answer;
  }
  unit.RollBack();
  answer.applied.clear();
  if (answer.refused.empty()) {
    databaseFailed = true;
    answer.text = "ERROR";
    answer.refused.push_back({0, "", "MSH", 0, 207, "the database could not keep the orders: " + db.ErrorText});
  }
  // AR: the server failed, and the same message may be sent again as it is.
  answer.ack = databaseFailed ? AckCode::AR : AckCode::AE;
  WriteLog("ERROR, ParseORM, nothing of the message stored: " + std::to_string(answer.refused.size()) +
           " order(s) refused");
  return answer;
}

}  // namespace tarvelin
