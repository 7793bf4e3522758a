#include "hl7/drop_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "hl7/hl7_parser.h"
#include "hl7/xml_order.h"
#include "service/audit_actor.h"
#include "service/log.h"
#include "service/text.h"
#include "service/settings.h"

namespace tarvelin {

namespace fs = std::filesystem;

namespace {

constexpr const char* kProcessed = "Message Processed";

// How long a file must have been left alone before it is taken.
constexpr auto kSettleTime = std::chrono::seconds(3);

struct InputFile {
  fs::file_time_type modified;
  std::string name;
};

// Compares the file's time with the file system's own clock: a pinned process
// clock says nothing about when the writer last touched the file. A time
// ahead of the clock (a writer on another machine) counts as fresh too.
bool StillBeingWritten(fs::file_time_type modified) {
  const auto age = fs::file_time_type::clock::now() - modified;
  return age < kSettleTime && age > -kSettleTime;
}

// The file's lines (cut at CR, LF or CR LF) joined with CR LF.
std::string ReadLinesCrLf(std::ifstream& file) {
  std::string text, line;
  char c;
  bool lastWasCR = false;
  while (file.get(c)) {
    if (c == '\n' && lastWasCR) {
      lastWasCR = false;
      continue;
    }
    lastWasCR = c == '\r';
    if (c == '\r' || c == '\n') {
      text += line + "\r\n";
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) text += line + "\r\n";
  return text;
}

std::vector<InputFile> ReadyFiles(const std::string& folder) {
  std::vector<InputFile> files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code fileError;
    if (!it->is_regular_file(fileError)) continue;
    const fs::file_time_type modified = it->last_write_time(fileError);
    if (fileError || StillBeingWritten(modified)) continue;
    files.push_back({modified, it->path().filename().string()});
  }
  if (ec) WriteLog("ERROR, CheckHL7Messages, listing " + folder + ", " + ec.message());
  std::sort(files.begin(), files.end(), [](const InputFile& a, const InputFile& b) {
    return a.modified != b.modified ? a.modified < b.modified : a.name < b.name;
  });
  return files;
}

// Holds an exclusive lock on the input folder while alive, so a server and a
// HOUSEKEEPING run beside it never take the same file twice.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder) : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_;
};

void WriteResultFile(const std::string& path, const std::string& result) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << result << "\r\n";
  out.flush();
  if (!out) WriteLog("ERROR, CheckHL7Messages, writing " + path);
}

// HL7error/ beside HL7in/: where files that could not be processed are kept.
std::string ErrorFolder(const std::string& in) {
  return (fs::path(in).parent_path().parent_path() / "HL7error").string() + "/";
}

// Removes a processed file; keeps one that failed in HL7error/, with its
// reason beside it in NAME.reason, for someone to look at and send again.
// Never deletes an order that was not taken.
void PutAway(const std::string& in, const std::string& name, const std::string& result) {
  std::error_code ec;
  if (result == kProcessed) {
    if (!fs::remove(in + name, ec) || ec)
      WriteLog("ERROR, CheckHL7Messages, deleting: " + name + ", " + Hex8(static_cast<std::uint32_t>(ec ? ec.value() : ENOENT)));
    return;
  }
  const std::string errors = ErrorFolder(in);
  fs::create_directories(errors, ec);
  // An earlier failed file of the same name is kept too.
  std::string kept = name;
  for (int n = 1; fs::exists(errors + kept, ec); ++n) kept = name + "." + std::to_string(n);
  fs::rename(in + name, errors + kept, ec);
  if (ec) {
    WriteLog("ERROR, CheckHL7Messages, moving " + name + " to " + errors + ": " + ec.message() + ", left in place");
    return;
  }
  WriteResultFile(errors + kept + ".reason", result);
  WriteLog("WARNING, CheckHL7Messages, " + name + " not processed, kept as " + errors + kept + ": " + result);
}

}  // namespace

std::string HL7FileProcess(const std::string& path) {
  const AuditActorScope actor({"order file", fs::path(path).filename().string(), ""});
  std::string result;
  std::error_code ec;
  std::ifstream file;
  if (fs::exists(path, ec)) file.open(path, std::ios::binary);
  if (!file.is_open()) {
    result = "ERROR, " + path + " does not exists!";
  } else if (fs::path(path).extension() == ".xml") {
    file.close();
    result = ProcessXML(path);
  } else {
    result = "ERROR processing HL7 Message";
    if (ProcessHL7(ReadLinesCrLf(file)).ack == AckCode::AA) result = kProcessed;
  }
  WriteLog("INFO, HL7FileProcess, " + result);
  return result;
}

void CheckHL7Messages() {
  const std::string& in = ServerSettings.HL7InFolder;
  if (in.empty()) {
    WriteLog("ERROR, CheckHL7Messages, folder name is empty");
    return;
  }
  const FolderLock scanning(in);
  for (const InputFile& file : ReadyFiles(in)) {
    // Deleting a file that could not be read would lose its order.
    if (!std::ifstream(in + file.name, std::ios::binary).is_open()) {
      WriteLog("ERROR, CheckHL7Messages, cannot read: " + file.name + ", left in place");
      continue;
    }
    const std::string result = HL7FileProcess(in + file.name);
    PutAway(in, file.name, result);
    WriteResultFile(ServerSettings.HL7OutFolder + file.name, result);
  }
}

}  // namespace tarvelin
