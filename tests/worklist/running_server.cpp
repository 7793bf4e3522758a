#include "running_server.h"

#include <fstream>
#include <sstream>
#include <vector>

#include "db/sqldb.h"
#include "db/storage_location.h"
#include "support/free_port.h"
#include "support/log_file.h"

namespace tarvelin {

int CountLines(const std::string& text, const std::string& part) {
  std::istringstream lines(text);
  int count = 0;
  for (std::string line; std::getline(lines, line);)
    if (line.find(part) != std::string::npos) ++count;
  return count;
}

void RunningServer::SetUp() {
  instance_ = std::make_unique<TarvelinInstance>("wl-e2e");
  ASSERT_EQ(instance_->InitWithSetupTool("end-to-end admin password"), "");
  home_ = instance_->Home();
  dicomPort_ = instance_->DicomPort();
  UseStorage(instance_->Storage());
}

void RunningServer::TearDown() { instance_.reset(); }

void RunningServer::Insert(const WorklistDB& entry) {
  WorklistDB copy = entry;
  SQLdb db("quillat", SQLdb::ReadWrite);
  ASSERT_TRUE(db.IsOpen);
  ASSERT_EQ(copy.Insert(db), WriteResult::Done);
}

void RunningServer::WriteStationFilter(const std::string& text) {
  std::ofstream(home_ + "wlfilter.txt", std::ios::binary) << text;
}

void RunningServer::Start() {
  ASSERT_TRUE(instance_->Start());
  WaitUntil([&] { return PortAccepts(dicomPort_); }, 10000);
  ASSERT_TRUE(PortAccepts(dicomPort_)) << "tarvelin did not open its DICOM port\n" << ServerLog();
}

PeerResult RunningServer::Findscu(const std::string& arguments) {
  return RunPeer("findscu -W -v -aec TARVELIN " + arguments + " 127.0.0.1 " + std::to_string(dicomPort_));
}

std::string RunningServer::Column(const std::string& accession, const std::string& column) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  std::vector<std::string> rows;
  db.Query("SELECT " + column + " FROM Worklist WHERE AccessionNumber='" + accession + "'", rows);
  return rows.size() == 1 ? rows[0].substr(0, rows[0].size() - 1) : "<no row>";
}

std::string RunningServer::ServerLog() const { return instance_->Log(); }

}  // namespace tarvelin
