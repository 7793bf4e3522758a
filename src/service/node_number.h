#pragma once
// This server's number among the servers that share one database. Values the
// server makes up itself (HL7 acknowledgement control IDs, UIDs) carry it, so
// that two servers never make the same one. The code that knows the storage
// sets it once at start, before any component runs; any thread may read it.
namespace tarvelin {

// 0: the server is alone on its data (SQLite, one machine), and generated
// values keep their single-server form. 1 and up: the number the shared
// database gave this run of the server; no other server running on that
// database has it.
int NodeNumber();
void SetNodeNumber(int number);

}  // namespace tarvelin
