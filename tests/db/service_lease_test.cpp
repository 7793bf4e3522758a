// Which of several servers on one database runs a single-place duty: against
// a real PostgreSQL server, leases standing in for servers.
#include "db/service_lease.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "db/side_connection.h"
#include "db/storage_location.h"
#include "support/free_port.h"
#include "support/log_file.h"
#include "support/scratch_schema.h"

namespace tarvelin {

namespace {

constexpr const char* kRuns = "INFO, HOUSEKEEPING, this server runs housekeeping now";
constexpr const char* kStandsBy = "INFO, HOUSEKEEPING, another server runs housekeeping, this one stands by";
constexpr const char* kUnreachable = "WARNING, HOUSEKEEPING, housekeeping waits here: the database cannot be reached";

// Points the storage at `conninfo` while alive.
struct StorageOn {
  explicit StorageOn(const std::string& conninfo) { UseStorage({"database/", conninfo}); }
  ~StorageOn() { UseStorage({"database/", ""}); }
};

// Ends, as a crash or a network cut would, the session of `application`
// that holds the housekeeping lock.
bool EndHolderSession(const ScratchSchema& schema, const std::string& application) {
  SideConnection admin;
  std::string error;
  if (!admin.Open(schema.Server(), error)) return false;
  const auto ended = admin.Value(
      "SELECT count(pg_terminate_backend(l.pid)) FROM pg_locks l JOIN pg_stat_activity a ON a.pid = l.pid "
      "WHERE a.application_name = ? AND l.locktype = 'advisory' AND l.granted AND l.objsubid = 2 "
      "AND l.classid = ?::oid",
      {application, std::to_string(0x54525601)}, error);
  return ended && *ended == "1";
}

TEST(ServiceLease, OnSQLiteTheOneMachineAlwaysHoldsItSilently) {
  UseStorage({"database/", ""});
  LogCapture log;
  ServiceLease lease(Duty::Housekeeping), other(Duty::Housekeeping);
  EXPECT_TRUE(lease.Held());
  EXPECT_TRUE(other.Held());
  EXPECT_TRUE(lease.Held());
  EXPECT_EQ(CountOf(log.Text(), "HOUSEKEEPING"), 0) << log.Text();
}

TEST(ServiceLease, NoDatabaseMeansNotTheHolderWithOneLine) {
  int port = 0;
  const int listener = ListenLoopback(port);  // accepts nothing: a server that hangs
  ASSERT_GE(listener, 0);
  const std::string cases[] = {
      "host=127.0.0.1 port=" + std::to_string(FreePort()) + " user=nobody dbname=none",
      "host=127.0.0.1 port=" + std::to_string(port) + " user=nobody dbname=none connect_timeout=2",
  };
  for (const std::string& conninfo : cases) {
    const StorageOn storage(conninfo);
    LogCapture log;
    ServiceLease lease(Duty::Housekeeping);
    EXPECT_FALSE(lease.Held()) << conninfo;
    EXPECT_FALSE(lease.Held()) << conninfo;
    EXPECT_EQ(CountOf(log.Text(), kUnreachable), 1) << log.Text();
  }
  ::close(listener);
}

TEST(ServiceLease, OneHolderUntilItsSessionEndsThenTheNextTakesIt) {
  const ScratchSchema schema;
  if (!schema.Named()) GTEST_SKIP() << schema.Problem();
  ASSERT_EQ(schema.Problem(), "");
  const std::string application = "lease_test_" + std::to_string(::getpid());
  const StorageOn storage(schema.Conninfo() + " application_name=" + application);
  LogCapture log;

  auto first = std::make_unique<ServiceLease>(Duty::Housekeeping);
  auto second = std::make_unique<ServiceLease>(Duty::Housekeeping);
  ServiceLease scan(Duty::DropFolderScan);
  EXPECT_TRUE(first->Held());
  EXPECT_FALSE(second->Held());
  EXPECT_TRUE(scan.Held()) << "each duty has a lock of its own";
  for (int pass = 0; pass < 3; ++pass) {
    EXPECT_TRUE(first->Held());
    EXPECT_FALSE(second->Held());
  }
  EXPECT_EQ(CountOf(log.Text(), kRuns), 1) << log.Text();
  EXPECT_EQ(CountOf(log.Text(), kStandsBy), 1) << log.Text();

  // The holder's session dies: the standby takes over at its next pass, and
  // the old holder, reconnected, stands by.
  ASSERT_TRUE(EndHolderSession(schema, application));
  EXPECT_TRUE(WaitUntil([&] { return second->Held(); }, 5000));
  EXPECT_FALSE(first->Held());
  EXPECT_EQ(CountOf(log.Text(), "WARNING, HOUSEKEEPING, the database session that held housekeeping ended"), 1)
      << log.Text();
  EXPECT_FALSE(first->Held());

  // The holder stops: the lease passes at once.
  second.reset();
  EXPECT_TRUE(WaitUntil([&] { return first->Held(); }, 5000));
  EXPECT_TRUE(first->Held());
  EXPECT_EQ(CountOf(log.Text(), kRuns), 3) << log.Text();
  EXPECT_EQ(CountOf(log.Text(), kStandsBy), 2) << log.Text();
  EXPECT_EQ(CountOf(log.Text(), "INFO, HOUSEKEEPING, this server runs the drop-folder scan now"), 1);

  // Another instance keeping its data in another schema of the database has
  // a lock of its own.
  const ScratchSchema elsewhere;
  ASSERT_EQ(elsewhere.Problem(), "");
  UseStorage({"database/", elsewhere.Conninfo()});
  EXPECT_TRUE(ServiceLease(Duty::Housekeeping).Held());
}

}  // namespace

}  // namespace tarvelin
