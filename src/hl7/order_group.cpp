#include "hl7/order_group.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <vector>

#include "db/sqldb.h"
#include "hl7/orm_orders.h"
#include "service/log.h"

namespace tarvelin {

namespace {

struct Pending {
  const std::string* message;
  OrderAnswer result;
  bool done = false;
};

// Bounds the work one commit carries (and the time the write lock is held).
constexpr std::size_t kMaxGroup = 64;

std::mutex queueLock;
std::condition_variable groupDone;
std::deque<Pending*> queue;
bool writing = false;  // a thread is writing a group

OrderAnswer CouldNotStore(const std::string& why) {
  OrderAnswer answer;
  answer.text = "ERROR";
  answer.refused.push_back({0, "", "MSH", 0, 207, why});
  return answer;
}

// A message the server could not store because the database went away or
// gave up a serialization is written again this many times: a resend finds
// what was kept before as stored exactly so.
constexpr int kRepeats = 3;

// Each message in its own implicit transaction.
void WriteEach(SQLdb& db, const std::vector<Pending*>& group, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    db.TakeInterruption();
    group[i]->result = WriteOrders(db, *group[i]->message);
    for (int repeat = 0; repeat < kRepeats && group[i]->result.ack == AckCode::AR && db.TakeInterruption(); ++repeat) {
      WriteLog("WARNING, ParseORM, the database was interrupted; writing the message again");
      group[i]->result = WriteOrders(db, *group[i]->message);
    }
  }
}

void WriteGroup(const std::vector<Pending*>& group) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) {
    for (Pending* p : group) {
      WriteLog("EROR, ParseORM, couldn't open database");
      p->result = CouldNotStore("the database could not be opened");
    }
    return;
  }
  // Another writer (a web page, housekeeping) holding the file briefly is
  // waited for as a query would, before the retries of Exec start.
  db.WaitWhenBusy(1000);
  if (group.size() == 1 || db.BeginWrite() != 0) {
    WriteEach(db, group, 0, group.size());
    return;
  }
  db.TakeInterruption();  // a reconnect before the group began is no fault of its messages
  for (std::size_t i = 0; i < group.size(); ++i) {
    group[i]->result = WriteOrders(db, *group[i]->message);
    if (!db.InTransaction()) {
      // An error (disk full, I/O) rolled the whole transaction back: the
      // earlier messages' changes are gone, so they are written again. When
      // the database went away under this message, it failed only for that
      // and is written again too.
      const bool interrupted = db.TakeInterruption();
      WriteEach(db, group, 0, interrupted ? i + 1 : i);
      WriteEach(db, group, i + 1, group.size());
      return;
    }
  }
  if (db.Exec("COMMIT") != 0) {
    if (db.InTransaction()) db.Exec("ROLLBACK");
    WriteEach(db, group, 0, group.size());
  }
}

}  // namespace

OrderAnswer WriteInGroup(const std::string& message) {
  Pending mine{&message, {}, false};
  std::unique_lock<std::mutex> hold(queueLock);
  queue.push_back(&mine);
  while (!mine.done) {
    if (writing) {
      groupDone.wait(hold);
      continue;
    }
    // Nobody is writing: this thread writes everything queued so far.
    writing = true;
    std::vector<Pending*> group;
    while (!queue.empty() && group.size() < kMaxGroup) {
      group.push_back(queue.front());
      queue.pop_front();
    }
    hold.unlock();
    try {
      WriteGroup(group);
    } catch (const std::exception& e) {
      // The connection closed on the way out rolled back anything uncommitted.
      WriteLog(std::string("ERROR, ParseORM, ") + e.what());
      for (Pending* p : group) p->result = CouldNotStore(e.what());
    }
    hold.lock();
    for (Pending* p : group) p->done = true;
    writing = false;
    groupDone.notify_all();
  }
  return mine.result;
}

}  // namespace tarvelin
