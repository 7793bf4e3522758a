// The storage code opens what the caller named as the location, and moves
// with it: connections kept for one instance never answer for another.
#include "db/storage_location.h"

#include <gtest/gtest.h>

#include "db/sqldb.h"
#include "db/worklistdb.h"
#include "support/database_folder.h"

namespace tarvelin {
namespace {

bool Holds(const std::string& accession) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  WorklistDB entry;
  entry.AccessionNumber = accession;
  return db.IsOpen && entry.Load(db);
}

TEST(StorageLocation, ConnectionsFollowTheLocationInUse) {
  DatabaseFolder first("storage-a");
  ASSERT_EQ(first.Problem(), "");
  {
    SQLdb db("quillat", SQLdb::ReadWrite);
    WorklistDB entry;
    entry.AccessionNumber = "IN-A";
    entry.PatientID = "P1";
    entry.PatientName = "DOE";
    entry.Modality = "CT";
    ASSERT_EQ(entry.Insert(db), WriteResult::Done);
  }
  ASSERT_TRUE(Holds("IN-A"));  // leaves a kept connection to the first file

  DatabaseFolder second("storage-b");
  ASSERT_EQ(second.Problem(), "");
  EXPECT_EQ(DatabasePath("quillat"), second.Home() + "database/quillat.db");
  EXPECT_FALSE(Holds("IN-A"));

  UseStorage(first.Storage());
  EXPECT_TRUE(Holds("IN-A"));

  SQLITE_ONLY("the rest: a database file that is not there");
  UseStorage(StorageLocation::OfInstance(first.Home() + "nowhere/"));
  SQLdb missing("quillat", SQLdb::ReadOnly);
  EXPECT_FALSE(missing.IsOpen);  // the service never creates the file
}

}  // namespace
}  // namespace tarvelin
