// HL7 order ingest rate. Orders go over TCP to an in-process HL7 listener,
// each one acknowledged only after its row is committed; the physical
// reference is the rate of plain durable single-row inserts (one connection,
// one transaction per row) into a table of the same shape on the same disk.
//
//   hl7_bench [FOLDER] [SECONDS]
//
// FOLDER (default: the current folder) is where the scratch instance goes;
// each phase runs for SECONDS (default 3).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "db/schema.h"
#include "db/sqldb.h"
#include "db/storage_location.h"
#include "hl7/hl7_server.h"
#include "service/log.h"
#include "service/settings.h"

using namespace tarvelin;

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

namespace {

std::string Order(const std::string& controlId, const std::string& accession) {
  return "\x0bMSH|^~\\&|RIS|HOSP|TARVELIN|RAD|20240305143015||ORM^O01|" + controlId +
         "|P|2.3.1\rPID|||" + accession + "^^^HOSP||DOE^JOHN||19700102|M\rPV1||O|||||||1^SMITH^ANNA\r"
         "ORC|NW|||||||^^^20240305143000\rOBR|1|||CTHEAD^CT Head||||||||||||||" + accession +
         "||||||CT\r\x1c\x0d";
}

// Sends orders on one connection until the deadline, each waiting for its ACK.
// Returns the number acknowledged with AA; -1 on any other answer.
long SendUntil(int port, int connection, SteadyClock::time_point deadline) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  long done = 0;
  std::string answer;
  char buffer[4096];
  while (SteadyClock::now() < deadline) {
    const std::string id = 'B' + std::to_string(connection) + '-' + std::to_string(done);
    const std::string message = Order(id, "ACC" + id);
    if (send(fd, message.data(), message.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(message.size())) break;
    answer.clear();
    while (answer.find("\x1c\x0d") == std::string::npos) {
      ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      answer.append(buffer, static_cast<size_t>(n));
    }
    if (answer.find("MSA|AA|" + id + "\r") == std::string::npos) {
      std::fprintf(stderr, "unexpected answer: %s\n", answer.c_str());
      done = -1;
      break;
    }
    ++done;
  }
  close(fd);
  return done;
}

double HL7Rate(int port, int connections, double seconds) {
  static int run = 0;
  ++run;
  const auto start = SteadyClock::now();
  const auto deadline = start + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(seconds));
  std::vector<long> counts(connections, 0);
  std::vector<std::thread> threads;
  for (int c = 0; c < connections; ++c)
    threads.emplace_back([&, c] { counts[c] = SendUntil(port, run * 100 + c, deadline); });
  for (auto& t : threads) t.join();
  const double elapsed = std::chrono::duration<double>(SteadyClock::now() - start).count();
  long total = 0;
  for (long n : counts) {
    if (n < 0) return -1;
    total += n;
  }
  return total / elapsed;
}

// Plain durable inserts: SQLite's defaults, one autocommit INSERT per row.
double ReferenceRate(const std::string& path, double seconds) {
  std::string error;
  if (!CreateDatabase(path, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return -1;
  }
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_stmt* insert = nullptr;
  std::string sql = "INSERT INTO Worklist VALUES (";
  for (int i = 0; i < 22; ++i) sql += i ? ", ?" : "?";
  sql += ")";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &insert, nullptr) != SQLITE_OK) return -1;
  const auto start = SteadyClock::now();
  const auto deadline = start + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(seconds));
  long rows = 0;
  while (SteadyClock::now() < deadline) {
    const std::string key = "REF" + std::to_string(rows);
    const char* values[22] = {"12345", "DOE^JOHN", "19700102", "M", "SMITH", key.c_str(), "", "", "",
                              "1.3.6.1.4.1.47923.11.11123.12345.2403051430", "", "CT", "20240305", "143000",
                              "", "CT Head", key.c_str(), "SCHEDULED", "UNKNOWN", key.c_str(), "", ""};
    for (int i = 0; i < 22; ++i) sqlite3_bind_text(insert, i + 1, values[i], -1, SQLITE_TRANSIENT);
    if (sqlite3_step(insert) != SQLITE_DONE) {
      std::fprintf(stderr, "reference insert failed: %s\n", sqlite3_errmsg(db));
      return -1;
    }
    sqlite3_reset(insert);
    ++rows;
  }
  const double elapsed = std::chrono::duration<double>(SteadyClock::now() - start).count();
  sqlite3_finalize(insert);
  sqlite3_close(db);
  return rows / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string base = argc > 1 ? argv[1] : ".";
  const double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
  std::string pattern = (fs::absolute(base) / "hl7-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string home = pattern + "/";
  fs::create_directories(home + "database");
  fs::create_directories(home + "logs");
  ServerSettings.ProgramFolder = home;
  UseStorage(StorageLocation::OfInstance(home));
  SetLogTarget(home + "logs/bench.log");
  std::string error;
  int status = 0;
  if (!CreateDatabase(DatabasePath("quillat"), error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    status = 1;
  } else {
    // The disk is shared: the reference runs before and after the HL7 phases
    // and their mean is the figure, so drifting load affects both sides alike.
    const double before = ReferenceRate(home + "reference1.db", seconds);
    THL7Server server(0, home, "");
    const double one = HL7Rate(server.Port(), 1, seconds);
    const double eight = HL7Rate(server.Port(), 8, seconds);
    const double after = ReferenceRate(home + "reference2.db", seconds);
    const double reference = before > 0 && after > 0 ? (before + after) / 2 : -1;
    if (reference <= 0 || one <= 0 || eight <= 0) {
      std::fprintf(stderr, "a phase failed\n");
      status = 1;
    } else {
      std::printf("disk folder                          %s\n", fs::absolute(base).c_str());
      std::printf("reference: durable single-row inserts %10.1f rows/s  (before %.1f, after %.1f)\n", reference,
                  before, after);
      std::printf("HL7 orders, 1 connection             %10.1f orders/s  (%.2f x reference)\n", one, one / reference);
      std::printf("HL7 orders, 8 connections            %10.1f orders/s  (%.2f x reference)\n", eight, eight / reference);
      std::printf("target 8 connections >= 0.5 x reference: %s\n", eight >= 0.5 * reference ? "met" : "NOT met");
    }
  }
  ClearLogTarget();
  std::error_code ignored;
  fs::remove_all(home, ignored);
  return status;
}
