// Writers racing for one worklist entry, 8 threads at a time, round after
// round: each race has exactly one winner, every other writer is told what
// happened instead, and the entry ends in a state the status rule allows.
// TARVELIN_RACE_ROUNDS sets the rounds (default 100; 1000 for a long run).
#include <algorithm>
#include <barrier>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "db/performed_step_db.h"
#include "db/sps_status.h"
#include "db/sqldb.h"
#include "db/user_store.h"
#include "db/worklistdb.h"
#include "db_fixture.h"

namespace tarvelin {
namespace {

constexpr int kThreads = 8;

int Rounds() {
  const char* text = std::getenv("TARVELIN_RACE_ROUNDS");
  const int rounds = text ? std::atoi(text) : 0;
  return rounds > 0 ? rounds : 100;
}

// Runs `race` on kThreads threads at once, once per round, after `setup`;
// `check` sees the round's results (one per thread).
void Race(const std::function<void(int round)>& setup, const std::function<int(int thread, int round)>& race,
          const std::function<void(int round, const std::vector<int>& results)>& check) {
  const int rounds = Rounds();
  std::vector<int> results(kThreads);
  std::barrier sync(kThreads + 1);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < rounds; ++round) {
        sync.arrive_and_wait();
        results[t] = race(t, round);
        sync.arrive_and_wait();
      }
    });
  for (int round = 0; round < rounds; ++round) {
    setup(round);
    sync.arrive_and_wait();
    sync.arrive_and_wait();
    check(round, results);
    if (::testing::Test::HasFailure()) {
      // Let the threads finish their rounds without further checks.
      for (++round; round < rounds; ++round) {
        sync.arrive_and_wait();
        sync.arrive_and_wait();
      }
    }
  }
  for (std::thread& thread : threads) thread.join();
}

// The races compare results of both stores as numbers.
int Code(WriteResult result) { return static_cast<int>(result); }

int Count(const std::vector<int>& results, WriteResult value) {
  int n = 0;
  for (int r : results) n += r == Code(value);
  return n;
}

class ConcurrencyTest : public DbTest {
 protected:
  static std::string Accession(int round) { return "R" + std::to_string(round); }
  void Insert(const std::string& accession, const std::string& status) const {
    SQLdb db("quillat", SQLdb::ReadWrite);
    WorklistDB e;
    e.AccessionNumber = accession;
    e.PatientID = "P1";
    e.PatientName = "RACE^ONE";
    e.Modality = "CT";
    e.StudyInstanceUID = "1.2.3." + accession;
    e.SPSStatus = status;
    ASSERT_EQ(e.Insert(db), WriteResult::Done);
  }
  std::string Status(const std::string& accession) const {
    return Stored("SELECT SPSStatus FROM Worklist WHERE AccessionNumber = '" + accession + "'");
  }
};

TEST_F(ConcurrencyTest, HL7OrdersOfOneAccessionNumber) {
  // Every thread inserts the same new order: one stores it, the others hear
  // "already used", never a second success.
  Race([](int) {},
       [](int t, int round) {
         SQLdb db("quillat", SQLdb::ReadWrite);
         WorklistDB e;
         e.AccessionNumber = Accession(round);
         e.PatientID = "P" + std::to_string(t);
         e.PatientName = "SENDER^" + std::to_string(t);
         e.Modality = "CT";
         return Code(e.Insert(db));
       },
       [&](int round, const std::vector<int>& results) {
         EXPECT_EQ(Count(results, WriteResult::Done), 1) << round;
         EXPECT_EQ(Count(results, WriteResult::AlreadyExists), kThreads - 1) << round;
         const std::string winner = Stored("SELECT PatientID FROM Worklist WHERE AccessionNumber = '" + Accession(round) + "'");
         const auto first = std::find(results.begin(), results.end(), Code(WriteResult::Done));
         EXPECT_EQ(winner, "P" + std::to_string(first - results.begin())) << round;
       });
}

TEST_F(ConcurrencyTest, WebDeletesOfOneEntry) {
  // One deletes; the others hear "does not exist".
  Race([&](int round) { Insert(Accession(round), kScheduled); },
       [](int, int round) {
         SQLdb db("quillat", SQLdb::ReadWrite);
         WorklistDB e;
         e.AccessionNumber = Accession(round);
         return Code(e.Delete(db));
       },
       [&](int round, const std::vector<int>& results) {
         EXPECT_EQ(Count(results, WriteResult::Done), 1) << round;
         EXPECT_EQ(Count(results, WriteResult::NotFound), kThreads - 1) << round;
         EXPECT_EQ(Stored("SELECT COUNT(*) FROM Worklist WHERE AccessionNumber = '" + Accession(round) + "'"), "0")
             << round;
       });
}

TEST_F(ConcurrencyTest, PerformedStepStartRacesTheAgeingPass) {
  // Even threads age the entry (DISCONTINUED only while SCHEDULED), odd ones
  // start a performed step for it. Either the ageing wins once and the entry
  // is DISCONTINUED, or a step started it and every ageing was refused.
  Race([&](int round) { Insert(Accession(round), kScheduled); },
       [](int t, int round) {
         SQLdb db("quillat", SQLdb::ReadWrite);
         WorklistDB e;
         e.AccessionNumber = Accession(round);
         if (t % 2 == 0)
           return Code(e.ChangeStatus(db, kDiscontinued, StatusWriter::Workflow(), kScheduled));
         std::vector<std::string> linked;
         const PerformedStep step{"9." + std::to_string(round) + "." + std::to_string(t), kInProgress, "1.2.840.10008.1.2", "x"};
         return static_cast<int>(PerformedStepDB::Create(db, step, {{Accession(round), "", ""}}, linked));
       },
       [&](int round, const std::vector<int>& results) {
         int ageingWins = 0, ageingTold = 0, stepsCreated = 0;
         for (int t = 0; t < kThreads; ++t) {
           if (t % 2 == 0) {
             ageingWins += results[t] == Code(WriteResult::Done);
             ageingTold += results[t] == Code(WriteResult::Refused) || results[t] == Code(WriteResult::AlreadySo);
           } else {
             stepsCreated += results[t] == static_cast<int>(PerformedStepResult::Done);
           }
         }
         EXPECT_EQ(stepsCreated, kThreads / 2) << round;  // a step is kept even for a discontinued entry
         EXPECT_EQ(ageingWins + ageingTold, kThreads / 2) << round;
         const std::string status = Status(Accession(round));
         EXPECT_EQ(ageingWins, status == kDiscontinued ? 1 : 0) << round << " " << status;
         EXPECT_TRUE(status == kDiscontinued || status == kInProgress) << round << " " << status;
       });
}

TEST_F(ConcurrencyTest, OrderChangeRacesTheStepsEnd) {
  // The entry runs under one step. Even threads send an order change (XO)
  // that discontinues it and brings a new Study Instance UID; odd threads
  // complete the step (N-SET). One N-SET completes the step, the others hear
  // it is finished; the entry ends COMPLETED or DISCONTINUED, whichever came
  // first, and keeps the Study Instance UID its images carry.
  Race(
      [&](int round) {
        Insert(Accession(round), kScheduled);
        SQLdb db("quillat", SQLdb::ReadWrite);
        std::vector<std::string> linked;
        const PerformedStep step{"8." + std::to_string(round), kInProgress, "1.2.840.10008.1.2", "x"};
        const std::vector<ScheduledStepRef> refs{{Accession(round), "", ""}};
        ASSERT_EQ(PerformedStepDB::Create(db, step, refs, linked), PerformedStepResult::Done);
      },
      [](int t, int round) {
        SQLdb db("quillat", SQLdb::ReadWrite);
        if (t % 2 == 0) {
          WorklistDB change;
          change.AccessionNumber = Accession(round);
          change.SPSStatus = kDiscontinued;
          change.StudyInstanceUID = "9.9.9";
          return Code(change.Update(db));
        }
        return static_cast<int>(PerformedStepDB::Change(db, "8." + std::to_string(round), [](PerformedStep& step) {
          if (step.Status != kInProgress) return PerformedStepResult::Finished;
          step.Status = kCompleted;
          return PerformedStepResult::Done;
        }));
      },
      [&](int round, const std::vector<int>& results) {
        int completions = 0, finished = 0, changes = 0;
        for (int t = 0; t < kThreads; ++t) {
          if (t % 2 == 0) {
            changes += results[t] == Code(WriteResult::Done);
          } else {
            completions += results[t] == static_cast<int>(PerformedStepResult::Done);
            finished += results[t] == static_cast<int>(PerformedStepResult::Finished);
          }
        }
        EXPECT_EQ(completions, 1) << round;
        EXPECT_EQ(finished, kThreads / 2 - 1) << round;
        EXPECT_EQ(changes, kThreads / 2) << round;
        const std::string status = Status(Accession(round));
        EXPECT_TRUE(status == kCompleted || status == kDiscontinued) << round << " " << status;
        EXPECT_EQ(Stored("SELECT StudyInstanceUID FROM Worklist WHERE AccessionNumber = '" + Accession(round) + "'"),
                  "1.2.3." + Accession(round))
            << round;
      });
}

TEST_F(ConcurrencyTest, RemovalsOfTheLastTwoAdminUsers) {
  // Every thread removes one of the last two ADMIN users (even threads the
  // first, odd ones the second): exactly one removal wins, the others are
  // refused or find the user gone, and one ADMIN user is always left.
  Race([&](int) { Raw("DELETE FROM Users; INSERT INTO Users VALUES ('a1', 'x', 1), ('a2', 'x', 1), ('clerk', 'x', 0)"); },
       [](int t, int) {
         SQLdb db("quillat", SQLdb::ReadWrite);
         const std::string name = t % 2 == 0 ? "a1" : "a2";
         return Code(UserStore(db).Remove(name));
       },
       [&](int round, const std::vector<int>& results) {
         EXPECT_EQ(Count(results, WriteResult::Done), 1) << round;
         EXPECT_EQ(Count(results, WriteResult::Refused) + Count(results, WriteResult::NotFound), kThreads - 1) << round;
         EXPECT_EQ(Stored("SELECT COUNT(*) FROM Users WHERE Rights = 1"), "1") << round;
       });
}

}  // namespace
}  // namespace tarvelin
