#include "service/syslog_stream_queue.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

#include "platform/temp_folder.h"
#include "service/log.h"
#include "support/log_file.h"

namespace tarvelin {

namespace {
// A collector connection whose Connect waits for the test's word and whose
// writes succeed or fail as told; what was written is kept.
class FakeStream : public SyslogStream {
 public:
  FakeStream(std::shared_future<void> connectable, bool writesFail, std::vector<std::string>& written)
      : connectable_(std::move(connectable)), writesFail_(writesFail), written_(written) {}
  bool Connect(const std::string&, const std::string&, std::string&) override {
    connectable_.wait();
    return true;
  }
  bool Write(const std::string& bytes) override {
    written_.push_back(bytes);
    return !writesFail_;
  }
  void Disconnect() override {}

 private:
  std::shared_future<void> connectable_;
  bool writesFail_;
  std::vector<std::string>& written_;
};

class SyslogStreamQueueTest : public ::testing::Test {
 protected:
  void SetUp() override { SetLogTarget(folder_.Path() + "main.log"); }
  void TearDown() override { ClearLogTarget(); }
  std::string Log() const { return ReadFile(folder_.Path() + "main.log"); }
  TempFolder folder_;
};
}  // namespace

TEST(OctetCountedTest, LengthInBytesThenASpace) {
  EXPECT_EQ(OctetCounted("<85>1 x"), "7 <85>1 x");
  EXPECT_EQ(OctetCounted("\xEF\xBB\xBF\xC3\xA9"), "5 \xEF\xBB\xBF\xC3\xA9");
}

// While the collector cannot yet be reached the queue holds its capacity;
// what comes beyond is dropped and counted, what was held goes out in order.
TEST_F(SyslogStreamQueueTest, AFullQueueDropsTheExcessAndSendsTheRestInOrder) {
  std::promise<void> reachable;
  std::vector<std::string> written;
  {
    SyslogStreamQueue queue(std::make_unique<FakeStream>(reachable.get_future().share(), false, written), "tls:test",
                            "test", "6514");
    for (std::size_t i = 0; i < SyslogStreamQueue::kCapacity + 3; ++i) queue.Push("m" + std::to_string(i));
    reachable.set_value();
  }
  ASSERT_EQ(written.size(), SyslogStreamQueue::kCapacity);
  EXPECT_EQ(written.front(), "2 m0");
  EXPECT_EQ(written.back(), "4 m999");
  const std::string log = Log();
  EXPECT_NE(log.find("WARNING, AuditSyslog tls:test, the queue is full"), std::string::npos) << log;
  // The first drop is told at once, the two after it (held back by the
  // once-a-minute rule) at the end.
  EXPECT_NE(log.find("; 1 audit messages dropped"), std::string::npos) << log;
  EXPECT_NE(log.find("; 2 audit messages dropped"), std::string::npos) << log;
  EXPECT_NE(log.find("INFO, AuditSyslog tls:test connected"), std::string::npos) << log;
}

// A lost connection is not tried again at once, and shutdown does not wait
// for it: the message in flight and the ones behind it are counted as lost.
TEST_F(SyslogStreamQueueTest, ALostConnectionLosesMessagesButNeverHoldsShutdown) {
  std::promise<void> reachable;
  reachable.set_value();
  std::vector<std::string> written;
  {
    SyslogStreamQueue queue(std::make_unique<FakeStream>(reachable.get_future().share(), true, written), "tls:test",
                            "test", "6514");
    queue.Push("a");
    while (Log().find("connection lost") == std::string::npos) std::this_thread::yield();
    queue.Push("b");
    queue.Push("c");
  }
  EXPECT_EQ(written, std::vector<std::string>{"1 a"});
  const std::string log = Log();
  EXPECT_NE(log.find("WARNING, AuditSyslog tls:test, connection lost; 1 audit messages dropped"), std::string::npos)
      << log;
  EXPECT_NE(log.find("; 2 audit messages dropped"), std::string::npos) << log;
}

}  // namespace tarvelin
