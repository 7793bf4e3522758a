#pragma once
// The process-wide settings record. Filled by ServiceStart before any
// component thread starts; read without locks afterwards.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "service/caller_allow_list.h"
#include "service/sender_allow_list.h"

namespace tarvelin {

struct ServerSettingsRecord {
  int LogLevel = 1;  // 1, or 2 with DebugLog: debug lines are written only at 2
  int LogLineLimit = 8192;  // bytes of one line's text written at most (0: no cut)
  int LogRotateMB = 20;     // a log file larger than this is moved aside (0: never)
  int LogRotateFiles = 5;   // parts moved aside kept per log file
  std::string AuditSyslog;  // audit events also as syslog: "local", "udp:HOST[:PORT]", "tls:HOST[:PORT]"; "": file only
  bool AuditSyslogDicom = false;  // AuditSyslogFormat=dicom: syslog carries DICOM audit messages, not the JSON line
  std::string AuditSyslogTLSCAFile;  // authorities the collector's certificate is checked against (empty: the system's)
  std::string AuditSyslogTLSCert;    // our client certificate for the collector (empty: none)
  std::string AuditSyslogTLSKey;     // its private key
  std::string ProgramFolder;  // instance folder, ends with "/"
  std::string LogFolder;      // ProgramFolder + "logs/"
  std::string HL7InFolder;    // ProgramFolder + "HL7in/"
  std::string HL7OutFolder;   // ProgramFolder + "HL7out/"
  std::string WL_AET = "TARVELIN";
  std::string WL_Port = "104";
  std::string HL7Port = "2100";
  std::string WEBPort = "80";
  std::string WEBTLSCert;  // PEM certificate file for HTTPS; empty: plain HTTP
  std::string WEBTLSKey;   // PEM private key file for HTTPS
  int WebConnectionsPerAddress = 16;  // web connections one client address may hold at once
  int WebHeaderTimeout = 10;  // seconds to send a request's headers (also ends idle keep-alive)
  int WebBodyTimeout = 30;    // seconds to send a request's body after its headers
  int WebAnswerTimeout = 30;  // seconds a web client may take none of an answer being sent
  int MinPasswordLength = 12;  // characters a new web password needs at least
  std::string WLTLSPort;    // DICOM over TLS beside WL_Port; empty: none
  std::string WLTLSCert;    // PEM certificate (chain) of that port
  std::string WLTLSKey;     // PEM private key of that certificate
  std::string WLTLSCAFile;  // PEM authorities; set: clients must show a certificate they signed
  std::string PACS_AET = "PACS";
  std::string PACS_IP = "127.0.0.1";
  std::string PACS_Port = "11112";
  bool PACS_TLS = false;       // the PACS check runs over TLS
  std::string PACS_TLSCAFile;  // authorities the PACS certificate is checked against (empty: the system's)
  std::string PACS_TLSCert;    // our client certificate for the PACS (empty: none)
  std::string PACS_TLSKey;     // its private key
  std::string PACS_CharSet = "ISO_IR 192";  // the character set the PACS check asks in
  std::string Database;  // "" or "sqlite": database/quillat.db; "postgresql:<libpq connection string>"
  std::string UIDRoot;  // empty: the built-in root of the UID generator
  int MaxAssociations = 100;      // DICOM associations served at once; one more is rejected
  int AssociationTimeout = 30;    // seconds a new connection has to complete its A-ASSOCIATE-RQ
  int MaxAnswers = 0;             // pending responses per worklist query at most; 0: no limit
  int AssociationIdle = 60;       // seconds an association may stay silent before it is closed
  int MaxQueryBytes = 64 * 1024;  // largest C-FIND identifier taken; larger ones get a failure status
  int MaxMppsBytes = 1024 * 1024;  // largest N-CREATE/N-SET data set taken
  CallerAllowList Callers;        // callers.txt: who may associate, and for what
  int MaxHL7Connections = 50;     // HL7 connections served at once; more are closed at once
  int HL7IdleTimeout = 300;       // seconds an HL7 connection may stay silent
  int HL7FrameTimeout = 30;       // seconds a begun HL7 frame has to reach its end block
  SenderAllowList HL7Senders;     // HL7AllowedAddresses / HL7AllowedSenders
  std::string HL7Application = "TARVELIN";  // MSH-3 of our HL7 acknowledgements
  std::string HL7Facility;                  // MSH-4 of our HL7 acknowledgements
  std::string HL7CharSet = "8859/1";        // HL7 table 0211 set of messages without MSH-18
  // Worklist answers' character set (a DICOM defined term) for requests that
  // name none we convert, and per calling AE title (lower case) from the
  // [StationCharSet] section. Only terms we convert are kept.
  std::string DefaultCharSet = "ISO_IR 100";
  std::vector<std::pair<std::string, std::string>> StationCharSets;
  bool DebugLog = false;
  bool DeleteOld = false;
  bool DeletePACS = false;
  bool FilterByAET = false;
  bool Authentication_Enabled = true;
  std::uint8_t DefaultModality = 0;
};

extern ServerSettingsRecord ServerSettings;

// A file named in the settings: an absolute path as it is, any other relative
// to the instance folder; "" stays "".
std::string InstanceFile(const std::string& name);

}  // namespace tarvelin
