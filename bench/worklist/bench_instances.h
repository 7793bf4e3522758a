#pragma once
// The two servers' data: a Tarvelin instance folder made with the set-up
// tool and filled with the entries, and dcmtk worklist files (.wl) holding
// the same entries for wlmscpfs.
#include <string>
#include <vector>

#include "bench_entries.h"

namespace tarvelin {

// Runs `tarvelin-setup init` and `config` (DICOM port `port`, HL7 and web
// ports `hl7Port`/`webPort`) and inserts the entries in one transaction.
// False with `error` set on failure.
bool MakeTarvelinInstance(const std::string& setupProgram, const std::string& dir, int port,
                          int hl7Port, int webPort, const std::vector<BenchEntry>& entries,
                          std::string& error);

// Writes one DICOM file per entry into `dir`/`calledAE`/.
bool WriteWorklistFiles(const std::string& dir, const std::string& calledAE,
                        const std::vector<BenchEntry>& entries, std::string& error);

}  // namespace tarvelin
