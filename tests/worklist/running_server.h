#pragma once
// A real `tarvelin --home DIR` for end-to-end tests: the instance is made by
// `tarvelin-setup init`, given free ports, filled with entries, and the
// server is stopped with SIGTERM at the end. Peers run as separate programs
// with a time-out.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "db/worklistdb.h"
#include "support/child_process.h"
#include "support/running_tarvelin.h"

namespace tarvelin {

class RunningServer : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Inserts an entry before the server starts (or while it runs).
  void Insert(const WorklistDB& entry);
  void WriteStationFilter(const std::string& text);
  // Starts the server and waits until its DICOM port accepts connections.
  void Start();
  // findscu -W against the server with extra arguments (already quoted).
  PeerResult Findscu(const std::string& arguments);
  std::string Column(const std::string& accession, const std::string& column);
  std::string ServerLog() const;

  std::unique_ptr<TarvelinInstance> instance_;
  std::string home_;  // ends in "/"
  int dicomPort_ = 0;
};

// Number of lines of `text` that contain `part`.
int CountLines(const std::string& text, const std::string& part);

}  // namespace tarvelin
