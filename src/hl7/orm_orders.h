#pragma once
// The segment walk of an ORM^O01 message on an open database connection.
#include <string>

class SQLdb;

// Fills one worklist record from the PID, PV1, ORC, OBR and ZDS segments and
// inserts (NW), updates (XO) or deletes (CA) the entry of every ORC/OBR group
// through `db`, each when its group ends (at the next ORC or the end of the
// message), so a ZDS after the OBR belongs to that order. Returns the result of the last insert, update or delete, or
// -1 when none was performed.
int WriteOrders(SQLdb& db, const std::string& message);
