#pragma once
// Shared pieces of the HL7 tests: order messages, an MLLP peer over a plain
// socket, and a `tarvelin` process on free ports in a fresh instance folder.
#include <map>
#include <optional>
#include <string>

#include "support/database_folder.h"
#include "support/mllp_peer.h"
#include "support/running_tarvelin.h"

namespace tarvelin {

// One segment: name followed by fields 1..max, the given ones filled.
std::string Segment(const std::string& name, const std::map<int, std::string>& fields);

// An ORM^O01 with MSH-10 = controlId and one ORC/OBR pair. Patient 12345^^^HOSP,
// DOE^JOHN, born 19700102; OBR-18 = accession, OBR-24 = modality.
struct TestOrder {
  std::string controlId = "C1";
  std::string orderControl = "NW";
  std::string accession = "A100";
  std::string modality = "CT";
  std::map<int, std::string> orc;  // extra ORC fields
  std::map<int, std::string> obr;  // extra OBR fields (may override 18 and 24)
  std::string Text() const;
};

std::string MshSegment(const std::string& type, const std::string& controlId);

// An instance folder with a fresh database, made the process's program
// folder and log target for in-process tests; removed at the end.
class InstanceFolder : public DatabaseFolder {
 public:
  InstanceFolder() : DatabaseFolder("hl7-unit") {}

  bool Ready() const { return Problem().empty(); }
  // The Worklist row of an accession number, columns in table order joined
  // by "|"; "" when there is none.
  std::string Row(const std::string& accession) const;
  // One column of that row.
  std::string Column(const std::string& accession, const std::string& column) const;
};

// A `tarvelin` process on free ports in its own instance folder made by
// `tarvelin-setup init`.
class RunningTarvelin : public TarvelinInstance {
 public:
  // Starts the server with `hl7Port` (0: a free one) and waits until it has
  // logged the outcome of starting its HL7 listener.
  explicit RunningTarvelin(int hl7Port = 0);

  // Empty when the server is up and has started (or failed to start) its
  // HL7 listener; otherwise what went wrong.
  const std::string& Problem() const { return problem_; }
  // The rows of a SELECT on the instance database (see QueryDatabase).
  std::string Sql(const std::string& select) const;

 private:
  std::string problem_;
};

// The rows of a SELECT on the service database of `location`, one line each,
// columns joined by "|" (NULL as nothing); nothing when it failed.
std::string QueryDatabase(const StorageLocation& location, const std::string& select);

}  // namespace tarvelin
