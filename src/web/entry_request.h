#pragma once
// What "wlprocess" makes of its parameters: a new worklist entry, with the
// values that neither the form nor the caller gave filled in or generated.
// Used by one request on one thread; only NextSpsCounter is shared.
#include <string>

#include "db/worklistdb.h"
#include "web/request_params.h"

namespace tarvelin {

class EntryRequest {
 public:
  // Reads every "name=value" parameter in order (a later one replaces an
  // earlier one; unknown names are ignored), then builds the patient name
  // from LastName^FirstName (LastName alone when FirstName is empty), the start time from HOUR and MINUTES, and the
  // status SCHEDULED, where the parameters gave none of them.
  explicit EntryRequest(const ParamList& params);

  // The label of the first required field still empty, in the order
  // Patient ID, Patient Name, Patient BirthDate, Patient Sex, Modality,
  // Start Date, Start Time; "" when all are there.
  std::string MissingField() const;

  // Fills what only the server can make: the accession number (from the
  // current minute and a checksum of name, birth date and schedule, and of
  // `attempt` when above 0, for a number already taken) when none was
  // given, cut to 16 characters; the step ID (accession number and step
  // counter) and from it the requested procedure ID; station "UNKNOWN" and
  // medical alerts "HIGH" when empty; the Study Instance UID when none was given.
  void GenerateValues(int attempt = 0);

  // True when the parameters gave the accession number.
  bool AccessionGiven() const { return accessionGiven_; }

  WorklistDB Entry;

 private:
  bool accessionGiven_ = false;
};

}  // namespace tarvelin
