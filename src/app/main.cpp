// tarvelin: the worklist server. Runs in the foreground until SIGTERM/SIGINT
// (systemd's stop), registers/removes its systemd unit, or runs one
// housekeeping pass (HOUSEKEEPING).
//
// Each long-running component is registered below as a hook of
// ServiceComponents; ServiceStart starts them in the fixed order HL7, DICOM,
// web, housekeeping and ServiceStop stops them.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <unistd.h>

#include "db/node_sequence.h"
#include "db/schema_version.h"
#include "db/sqldb.h"
#include "db/storage_location.h"
#include "dimse/dicom_listener.h"
#include "hl7/hl7_server.h"
#include "net/syslog_tls_stream.h"
#include "housekeeping/housekeeping_service.h"
#include "platform/command_line.h"
#include "platform/daemon.h"
#include "platform/descriptor_limit.h"
#include "platform/file_version.h"
#include "platform/program_folder.h"
#include "platform/systemd_unit.h"
#include "service/mainsvc.h"
#include "service/settings.h"
#include "web/web_server.h"
#include "worklist/worklist_service.h"

using namespace tarvelin;

namespace {
int Install(const CommandLine& args) {
  std::string error;
  if (!InstallUnit(UnitFolder(), ExecutablePath(), ResolveProgramFolder(args.home), error)) {
    std::cerr << "Service installation failed: " << error << "\n";
    return 1;
  }
  if (!args.silent) std::cout << "Service installed successfully\n";
  return 0;
}

int Uninstall(const CommandLine& args) {
  std::string error;
  if (!UninstallUnit(UnitFolder(), error)) {
    std::cerr << "Service uninstallation failed: " << error << "\n";
    return 1;
  }
  if (!args.silent) std::cout << "Service uninstalled successfully\n";
  return 0;
}

// Fills the component hooks. Components are registered here as they are built.
ServiceComponents BuildComponents() {
  ServiceComponents components;

  // ---- Storage: a database at another schema version is not served; this
  //      server takes its node number on the storage before anything runs
  components.CheckStorage = [](std::string& reason) {
    StorageLocation storage;
    if (!StorageOfInstance(ServerSettings.ProgramFolder, ServerSettings.Database, storage, reason)) return false;
    UseStorage(storage);
    NumberThisServer();
    std::error_code ec;
    if (!storage.OnPostgres() && !std::filesystem::exists(DatabasePath("quillat"), ec)) return true;  // not set up yet
    SQLdb db("quillat", SQLdb::ReadOnly);
    return SchemaFitsServer(db, reason);
  };

  // ---- DICOM services (worklist engine): register the DIMSE service handlers
  //      (worklist C-FIND, MPPS N-CREATE/N-SET) here, before the listener starts.
  RegisterWorklistServices();

  // ---- HL7 listener
  components.StartHL7 = StartHL7Listener;
  components.StopHL7 = StopHL7Listener;

  // ---- DICOM listener
  components.StartDicom = StartDicomListener;
  components.StopDicom = StopDicomListener;

  // ---- Web server
  components.StartWeb = StartWebServer;
  components.StopWeb = StopWebServer;

  // ---- Housekeeping
  components.StartHousekeeping = StartHousekeeping;
  components.StopHousekeeping = StopHousekeeping;

  return components;
}
}  // namespace

int main(int argc, char** argv) {
  const CommandLine args = ParseCommandLine(argc, argv);
  if (!args.error.empty()) {
    std::cerr << args.error << "\n" << UsageText(argv[0]);
    return 2;
  }
  switch (args.action) {
    case CommandLine::Action::Help:
      std::cout << UsageText(argv[0]);
      return 0;
    case CommandLine::Action::Version:
      // The stamp the start line logs, read from the same file.
      std::cout << "tarvelin " << FileVersionText(RunningExecutable()) << "\n";
      return 0;
    case CommandLine::Action::Install:
      return Install(args);
    case CommandLine::Action::Uninstall:
      return Uninstall(args);
    case CommandLine::Action::Housekeeping:
      return RunHousekeepingOnce(ResolveProgramFolder(args.home));
    case CommandLine::Action::Run:
      break;
  }

  RegisterSyslogTls();
  const std::string programFolder = ResolveProgramFolder(args.home);
  UseStorage(StorageLocation::OfInstance(programFolder));
  const ServiceComponents components = BuildComponents();
  RaiseDescriptorLimit();
  try {
    RunUntilStopSignal([&] { ServiceStart(programFolder, components); }, [&] { ServiceStop(components); });
  } catch (const std::exception& e) {
    std::cerr << "tarvelin: " << e.what() << "\n";
    std::fflush(nullptr);
    _exit(1);
  } catch (...) {
    std::cerr << "tarvelin: unexpected failure\n";
    std::fflush(nullptr);
    _exit(1);
  }

  // DICOM associations and HL7 connections were joined by ServiceStop; a
  // component thread that could not end in time (housekeeping waiting on a
  // PACS) may still run, so leave without running static destructors under it.
  std::fflush(nullptr);
  _exit(0);
}
