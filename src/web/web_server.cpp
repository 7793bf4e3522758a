#include "web/web_server.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "service/log.h"
#include "service/settings.h"
#include "web/command_get.h"
#include "web/http_server.h"

namespace tarvelin {

namespace {
std::unique_ptr<HttpServer> server;

// A PEM file named in TRVGUI.ini (relative to the instance folder).
std::string ReadPem(const char* key, const std::string& name) {
  const std::string path = InstanceFile(name);
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  if (file) text << file.rdbuf();
  if (!file || text.str().empty()) {
    const std::string reason = std::string(key) + " file " + path + " cannot be read: " +
                               (errno ? std::strerror(errno) : "empty file");
    WriteLog("ERROR, WEB server, " + reason);
    throw std::runtime_error(reason);
  }
  return text.str();
}
}  // namespace

void StartWebServer(int port) {
  auto web = std::make_unique<HttpServer>();
  web->SetDefaultPort(port);
  web->SetOnCommandGet(CommandGet);
  const ServerSettingsRecord& s = ServerSettings;
  web->SetClientLimits({s.WebConnectionsPerAddress, s.WebHeaderTimeout, s.WebBodyTimeout, s.WebAnswerTimeout});
  const std::string& cert = ServerSettings.WEBTLSCert;
  const std::string& key = ServerSettings.WEBTLSKey;
  if (!cert.empty() || !key.empty()) {
    if (cert.empty() || key.empty()) {
      WriteLog("ERROR, WEB server, HTTPS needs both WEBTLSCert and WEBTLSKey");
      throw std::runtime_error("HTTPS needs both WEBTLSCert and WEBTLSKey");
    }
    std::string certificatePem = ReadPem("WEBTLSCert", cert);
    web->SetTls(std::move(certificatePem), ReadPem("WEBTLSKey", key));
  }
  try {
    web->Activate();
  } catch (const std::exception& e) {
    WriteLog("ERROR, WEB server, " + std::string(e.what()));
    throw;
  }
  server = std::move(web);
}

void StopWebServer() { server.reset(); }

}  // namespace tarvelin
