#pragma once
// Copies an instance's data (db/instance_tables.h) from one database to
// another through the gateway, whatever engine each is: the set-up tool's
// move between SQLite and PostgreSQL. Everything is written in one
// transaction on the target, which is committed only when every table reads
// back from the target with the count and digest it had in the source.
#include <cstddef>
#include <string>
#include <vector>

namespace tarvelin {

class SQLdb;

// One table as found on both sides.
struct TableComparison {
  std::string table;
  std::size_t sourceRows = 0;  // rows read from the source (also its count)
  std::size_t targetRows = 0;  // rows read back from the target
  std::string sourceDigest, targetDigest;

  bool Matches() const { return sourceRows == targetRows && sourceDigest == targetDigest; }
};

enum class InstanceCopy {
  Copied,          // committed; every table matches
  TargetHoldsData, // a table of the target has rows; nothing written
  Differs,         // the target read back other rows (`tables` say which); rolled back
  Failed           // a statement failed (`error` says which table and why); rolled back
};

// Copies from `from` to `to`, both open read-write at the same schema
// version (the caller checks). `from` is held in a write transaction
// meanwhile (on PostgreSQL the writers' lock), so no writer changes it
// between the read and the check. `tables` receives one comparison per table
// read so far.
InstanceCopy CopyInstanceData(SQLdb& from, SQLdb& to, std::vector<TableComparison>& tables, std::string& error);

}  // namespace tarvelin
