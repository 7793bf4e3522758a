#pragma once
// The PACS check of housekeeping: one C-FIND at study level for an
// accession number, on its own association.
#include <string>

namespace tarvelin {

class TlsContext;

// True when the PACS `pacsAET` at `host`:`port`, asked by `ownAET`, holds a
// study with exactly this accession number. False without asking when the
// PACS title, the host or the accession number is empty; false with the line
// "ERROR, connecting to PACS: ..." when the query failed. With `tls` the
// association runs over TLS on that context. It asks in PACS_CharSet.
bool StudyInPacs(const std::string& pacsAET, const std::string& host, const std::string& port,
                 const std::string& ownAET, const std::string& accession, const TlsContext* tls = nullptr);

}  // namespace tarvelin
