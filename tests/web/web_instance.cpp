#include "web_instance.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "db/sqldb.h"
#include "db/storage_location.h"
#include "platform/temp_folder.h"
#include "support/child_process.h"

namespace tarvelin {

namespace {
const std::string BinDir = TARVELIN_BIN_DIR;

std::string SetupTool(const std::vector<std::string>& args) {
  std::string line = BinDir + "/tarvelin-setup";
  for (const auto& arg : args) line += " " + ShellQuote(arg);
  const PeerResult r = RunPeer(line, 60);
  return r.ExitCode == 0 ? "" : line + " failed: " + r.Output;
}
}  // namespace

std::string WebInstance::Prepare(const std::vector<std::pair<std::string, std::string>>& settings) {
  std::string problem = server_.InitWithSetupTool(kAdminPassword);
  if (problem.empty()) problem = SetupTool({"user", server_.Home(), "add", "clerk", "--password", kClerkPassword});
  for (const auto& [key, value] : settings)
    if (problem.empty()) problem = SetupTool({"config", server_.Home(), "TRVSVC", key, value});
  return problem;
}

bool WebInstance::Start() {
  return server_.Start() && server_.WaitForLog("Initialized WEB server at port", 1, 15000);
}

bool WebInstance::Insert(WorklistDB entry) const {
  UseStorage(server_.Storage());
  SQLdb db("quillat", SQLdb::ReadWrite);
  return db.IsOpen && entry.Insert(db) == WriteResult::Done;
}

std::string WebInstance::AuditLog() const {
  std::string audit;
  for (const auto& file : std::filesystem::directory_iterator(server_.Home() + "logs"))
    if (file.path().filename().string().ends_with("_audit.log")) audit += ReadWholeFile(file.path().string());
  return audit;
}

std::string WebInstance::Url(const std::string& path) const {
  return (caFile_.empty() ? "http" : "https") + std::string("://127.0.0.1:") + std::to_string(server_.WebPort()) +
         path;
}

HttpAnswer WebInstance::Request(const std::string& path, const std::string& user, const std::string& password,
                                const std::string& curlOptions) const {
  std::string line = "curl -s -S -i --path-as-is --max-time 20";
  if (!caFile_.empty()) line += " --cacert " + ShellQuote(caFile_);
  if (!user.empty()) line += " -u " + ShellQuote(user + ":" + password);
  line += " " + curlOptions + " " + ShellQuote(Url(path));
  const PeerResult r = RunPeer(line, 30);
  HttpAnswer answer;
  if (r.ExitCode != 0) {
    answer.curl = r.Output;
    return answer;
  }
  const auto end = r.Output.find("\r\n\r\n");
  answer.headers = r.Output.substr(0, end);
  answer.body = end == std::string::npos ? "" : r.Output.substr(end + 4);
  if (answer.headers.size() > 12) answer.status = std::stoi(answer.headers.substr(9, 3));
  return answer;
}

WorklistDB ScheduledEntry(const std::string& accession, const std::string& name, const std::string& date,
                          const std::string& modality) {
  WorklistDB e;
  e.AccessionNumber = accession;
  e.PatientName = name;
  e.PatientID = "ID" + accession;
  e.PatientBD = "19700102";
  e.PatientSex = "F";
  e.Modality = modality;
  e.SPSDate = date;
  e.SPSTime = "093000";
  e.SPSStatus = "SCHEDULED";
  e.SPSDescription = "CT HEAD";
  e.ScheduledStation = "CT01";
  return e;
}

std::string RawExchange(int port, const std::string& bytes) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    for (std::size_t sent = 0; sent < bytes.size();) {
      const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;  // the server may refuse before reading everything
      sent += static_cast<std::size_t>(n);
    }
    pollfd p{fd, POLLIN, 0};
    char buffer[4096];
    while (poll(&p, 1, 5000) > 0) {
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      answer.append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  return answer;
}

}  // namespace tarvelin
