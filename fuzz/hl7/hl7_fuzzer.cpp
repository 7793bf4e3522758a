// Feeds arbitrary bytes to the HL7 listener's path: the bytes arrive in two
// reads (the first byte chooses the split), the MLLP framer cuts them into
// messages, and each message is parsed, written to a real database and
// acknowledged. Any crash, sanitizer report, hang or runaway allocation is a
// finding; so is an acknowledgement that is not one ACK^O01 with an MSA.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "db/schema.h"
#include "db/sqldb.h"
#include "hl7/hl7_server.h"
#include "hl7/mllp_framer.h"
#include "service/settings.h"

using namespace tarvelin;

namespace {

// A scratch instance in memory-backed storage, so durable commits cost little.
bool MakeInstance() {
  char folder[] = "/dev/shm/tarvelin-hl7-fuzz-XXXXXX";
  if (mkdtemp(folder) == nullptr) return false;
  ServerSettings.ProgramFolder = std::string(folder) + "/";
  const std::string databaseFolder = ServerSettings.ProgramFolder + "database";
  if (mkdir(databaseFolder.c_str(), 0700) != 0) return false;
  std::string error;
  return CreateDatabase(databaseFolder + "/quillat.db", error);
}

void CheckAck(const std::string& ack) {
  if (ack.rfind("MSH|", 0) != 0 || ack.find("|ACK^O01|") == std::string::npos ||
      ack.find("\rMSA|A") == std::string::npos || ack.back() != '\r')
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = MakeInstance();
  static int runs = 0;
  if (!ready || size == 0) return 0;
  if (++runs % 2000 == 0) {
    SQLdb db("quillat", SQLdb::ReadWrite);
    db.Exec("DELETE FROM Worklist");
  }
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t split = data[0] % (bytes.size() + 1);
  MllpFramer framer;
  std::string message;
  for (std::string_view read : {bytes.substr(0, split), bytes.substr(split)}) {
    framer.Feed(read);
    framer.TakeAbandoned();
    while (framer.Next(message)) CheckAck(AnswerHL7(message, "fuzzer"));
    if (framer.Overflowed()) break;
  }
  return 0;
}
