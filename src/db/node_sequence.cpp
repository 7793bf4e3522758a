#include "db/node_sequence.h"

#include <sys/random.h>

#include <random>
#include <string>

#include "db/side_connection.h"
#include "db/storage_location.h"
#include "service/log.h"
#include "service/node_number.h"

namespace tarvelin {

namespace {
// The sequence stops below the drawn numbers and starts again at 1 after
// them: a server would have to outlive millions of restarts of the others to
// meet its own number again. Seven digits at most, which the HL7
// acknowledgement control ID has room for.
constexpr int kLastSequenceValue = 4999999;
constexpr int kFirstDrawn = 5000000, kLastDrawn = 9999999;

int DrawnNumber() {
  unsigned random = 0;
  if (getrandom(&random, sizeof random, 0) != sizeof random) random = std::random_device{}();
  return kFirstDrawn + static_cast<int>(random % (kLastDrawn - kFirstDrawn + 1));
}

// The next value of the sequence; 0 with `error` when there is none.
int SequenceValue(const std::string& conninfo, std::string& error) {
  SideConnection session;
  if (!session.Open(conninfo, error)) return 0;
  // Two servers starting at once may both try to make the sequence; the
  // loser's next round finds it.
  for (int round = 0; round < 3; ++round) {
    if (const auto value = session.Value("SELECT nextval('tarvelin_node_number')", {}, error))
      return std::stoi(*value);
    session.Value("CREATE SEQUENCE IF NOT EXISTS tarvelin_node_number AS integer MINVALUE 1 MAXVALUE " +
                      std::to_string(kLastSequenceValue) + " CYCLE",
                  {}, error);
  }
  return 0;
}
}  // namespace

void NumberThisServer() {
  const std::string conninfo = CurrentStorage().postgres;
  if (conninfo.empty()) {
    SetNodeNumber(0);
    return;
  }
  std::string error;
  int number = SequenceValue(conninfo, error);
  if (number > 0) {
    WriteLog("INFO, ServiceStart, node number on the shared database: " + std::to_string(number));
  } else {
    number = DrawnNumber();
    WriteLog("WARNING, ServiceStart, no node number from the database (" + error + "), drawn at random: " +
             std::to_string(number));
  }
  SetNodeNumber(number);
}

}  // namespace tarvelin
