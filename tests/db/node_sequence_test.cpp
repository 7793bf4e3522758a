// Node numbers: none on SQLite, one per start from the shared database, a
// drawn one when the database cannot give one.
#include "db/node_sequence.h"

#include <gtest/gtest.h>

#include <set>

#include "db/storage_location.h"
#include "service/node_number.h"
#include "support/free_port.h"
#include "support/log_file.h"
#include "support/scratch_schema.h"

namespace tarvelin {

namespace {

struct NodeReset {
  ~NodeReset() {
    UseStorage({"database/", ""});
    SetNodeNumber(0);
  }
};

TEST(NodeSequence, SQLiteHasNoneAndNoServerGivesADrawnOne) {
  const NodeReset reset;
  LogCapture log;
  SetNodeNumber(5);
  UseStorage({"database/", ""});
  NumberThisServer();
  EXPECT_EQ(NodeNumber(), 0);
  EXPECT_EQ(log.Text(), "");

  UseStorage({"database/", "host=127.0.0.1 port=" + std::to_string(FreePort()) + " user=nobody dbname=none"});
  NumberThisServer();
  EXPECT_GE(NodeNumber(), 5000000);
  EXPECT_LE(NodeNumber(), 9999999);
  EXPECT_TRUE(log.Contains("WARNING, ServiceStart, no node number from the database (")) << log.Text();
}

TEST(NodeSequence, EachStartOnTheSharedDatabaseGetsANumberOfItsOwn) {
  const ScratchSchema schema;
  if (!schema.Named()) GTEST_SKIP() << schema.Problem();
  ASSERT_EQ(schema.Problem(), "");
  const NodeReset reset;
  LogCapture log;
  UseStorage({"database/", schema.Conninfo()});
  std::set<int> seen;
  for (int start = 0; start < 3; ++start) {
    NumberThisServer();
    EXPECT_GE(NodeNumber(), 1);
    EXPECT_LT(NodeNumber(), 5000000) << "from the sequence, not drawn";
    seen.insert(NodeNumber());
  }
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_EQ(CountOf(log.Text(), "INFO, ServiceStart, node number on the shared database: "), 3) << log.Text();
}

}  // namespace

}  // namespace tarvelin
