#include "hl7/hl7_ack.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "hl7/hl7_test_support.h"
#include "service/node_number.h"
#include "service/settings.h"
#include "support/pinned_clock.h"

namespace tarvelin {

namespace {

TEST(HL7Ack, TextsOfEveryResult) {
  const std::string received = "MSH|^~\\&|RIS|HOSP|WL|RAD|20240305||ORM^O01|C1|P|2.3.1\rPID|||1";
  const std::string head = "MSH|^~\\&|TARVELIN||RIS|HOSP|20240305143015||ACK^O01|24030514307|P|2.3.1\r";
  auto ack = [&](AckCode code, const std::string& text, std::vector<OrderRefusal> refused) {
    return BuildAck({code, text, std::move(refused), {}}, received, "24030514307", "20240305143015");
  };
  EXPECT_EQ(ack(AckCode::AA, "", {}), head + "MSA|AA|C1\r");
  EXPECT_EQ(ack(AckCode::AE, "WARNING - NW - Duplicate Accession Number",
                {{2, "A2", "OBR", 18, 205, "already used"}}),
            head + "MSA|AE|C1|WARNING - NW - Duplicate Accession Number\r"
                   "ERR|OBR^2^18^205&order 2 (accession A2): already used&HL70357\r");
  // One ERR per refused order; the delimiters inside a text are escaped.
  EXPECT_EQ(ack(AckCode::AE, "ERROR",
                {{1, "", "PID", 5, 101, "no name"}, {3, "A|3", "ORC", 1, 103, "unknown: Z^Z&\\"}}),
            head + "MSA|AE|C1|ERROR\r"
                   "ERR|PID^1^5^101&order 1: no name&HL70357\r"
                   "ERR|ORC^3^1^103&order 3 (accession A\\F\\3): unknown: Z\\S\\Z\\T\\\\E\\&HL70357\r");
  EXPECT_EQ(ack(AckCode::AR, "ERROR - not an order message", {{0, "", "MSH", 9, 200, "not an order"}}),
            head + "MSA|AR|C1|ERROR - not an order message\rERR|MSH^1^9^200&not an order&HL70357\r");
  EXPECT_EQ(FrameMllp("X"), std::string("\x0bX\x1c\x0d"));
}

TEST(HL7Ack, AddressedFromThisServerBackToTheSender) {
  ServerSettings.HL7Application = "WORKLIST";
  ServerSettings.HL7Facility = "RADIOLOGY";
  const std::pair<std::string, std::string> cases[] = {
      {"MSH|^~\\&|RIS|HOSP|WL|RAD|2024||ORM^O01|C1", "WORKLIST|RADIOLOGY|RIS|HOSP"},
      {"MSH|^~\\&|RIS\rPID|a|b|c", "WORKLIST|RADIOLOGY|RIS|"},  // never a field of a later segment
      {"no header at all", "WORKLIST|RADIOLOGY||"},
  };
  for (const auto& [received, names] : cases) EXPECT_EQ(AckNames(received), names) << received;
  ServerSettings.HL7Application = "TARVELIN";
  ServerSettings.HL7Facility = "";
}

TEST(HL7Ack, ReceivedControlIdIsTheTenthField) {
  EXPECT_EQ(ReceivedControlId("\x0bMSH|^~\\&|RIS|H|WL|R|20240305||ORM^O01|MSG77|P|2.3.1\rPID|1"), "MSG77");
  EXPECT_EQ(ReceivedControlId("no fields at all"), "");
}

TEST(HL7Ack, ControlIdIsMinuteAndCounterWrappingAfter999) {
  PinnedClock pinned{2024, 3, 5, 14, 30, 15};
  EXPECT_EQ(HL7Timestamp(), "20240305143015");
  AckControlCounter = 998;
  EXPECT_EQ(NextAckControlId(), "2403051430998");
  EXPECT_EQ(NextAckControlId(), "2403051430999");
  EXPECT_EQ(NextAckControlId(), "24030514300");
  EXPECT_EQ(NextAckControlId(), "24030514301");
}

TEST(HL7Ack, ServersOnOneDatabaseCarryTheirNodeNumberWithinTwentyCharacters) {
  PinnedClock pinned{2024, 3, 5, 14, 30, 15};
  struct Case {
    int node, counter;
    const char* id;
  };
  const Case cases[] = {
      {1, 234, "24030514301234"},
      {12, 34, "240305143012034"},  // not 1234 again: the counter keeps three digits
      {7, 0, "24030514307000"},
      {9999999, 999, "24030514309999999999"},
      {0, 5, "24030514305"},  // alone on its data: the single-server form
  };
  for (const Case& c : cases) {
    SetNodeNumber(c.node);
    AckControlCounter = c.counter;
    const std::string id = NextAckControlId();
    EXPECT_EQ(id, c.id) << "node " << c.node;
    EXPECT_LE(id.size(), 20u) << "MSH-10 of v2.5";
  }
  SetNodeNumber(0);
  AckControlCounter = 0;
}

TEST(HL7Ack, ConcurrentConnectionsNeverShareACounterValue) {
  AckControlCounter = 0;
  constexpr int kThreads = 8, kEach = 1000;
  std::vector<std::vector<int>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] {
      for (int n = 0; n < kEach; ++n) seen[i].push_back(std::stoi(NextAckControlId().substr(10)));
    });
  for (auto& t : threads) t.join();
  // 8000 uses of a counter of 1000 values: each value exactly 8 times.
  std::vector<int> uses(1000, 0);
  for (const auto& s : seen)
    for (int v : s) ++uses.at(v);
  for (int v = 0; v < 1000; ++v) ASSERT_EQ(uses[v], kThreads) << "counter value " << v;
  EXPECT_EQ(AckControlCounter.load(), 0);
}

}  // namespace

}  // namespace tarvelin
