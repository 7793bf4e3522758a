#pragma once
// The audit trail's "tls:" syslog transport (RFC 5425): a TCP connection
// wrapped in TLS as a requestor, from the AuditSyslogTLS* settings. The
// collector's certificate is always checked, against AuditSyslogTLSCAFile
// or the system's authorities, and must name the host of the target; our
// client certificate is shown when one is set (mutual TLS).
namespace tarvelin {

// Registers the transport with the audit trail (service/syslog_stream.h).
void RegisterSyslogTls();

}  // namespace tarvelin
