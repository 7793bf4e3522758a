#pragma once
// The HL7 v2 order parser: ORM^O01 messages become worklist entries.
#include <string>

// -1 when `message` does not contain "ORM^O01" anywhere (the database is not
// touched); otherwise the result of ParseORM.
int ProcessHL7(const std::string& message);

// Fills one worklist record from the PID, PV1, ORC, OBR and ZDS segments and
// inserts (NW), updates (XO) or deletes (CA) the entry of every ORC/OBR pair.
// Returns the result of the last insert, update or delete (0 done;
// 1 duplicate accession number; 2 CA of an unknown one; 3 XO of an unknown
// one; -1 failure), or -1 when none was performed.
int ParseORM(const std::string& message);
