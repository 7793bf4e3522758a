#pragma once
// The order drop folder: another system writes HL7 ORM^O01 messages or XML
// orders into ServerSettings.HL7InFolder; each file is processed, deleted,
// and answered with a one-line result file of the same name in
// ServerSettings.HL7OutFolder. Runs on the housekeeping thread (or the
// HOUSEKEEPING command), one file at a time.
#include <string>

namespace tarvelin {

// One scan of the input folder. Sub-folders are skipped; files are taken
// oldest first (name order among equals). A file modified less than three
// seconds ago may still be being written: it is left for the next scan.
// Scans of several processes on one folder run one after the other.
void CheckHL7Messages();

// Processes one file and returns its result text: "Message Processed",
// "ERROR processing HL7 Message", "ERROR processing XML document", or
// "ERROR, " + path + " does not exists!". Files named exactly *.xml are XML
// orders, every other file an HL7 message.
std::string HL7FileProcess(const std::string& path);

}  // namespace tarvelin
