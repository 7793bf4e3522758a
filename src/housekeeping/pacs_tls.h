#pragma once
// The TLS side of the PACS check, from the PACS_TLS settings.
#include <memory>

#include "net/tls_context.h"

namespace tarvelin {

struct PacsTls {
  bool Usable = true;                   // false: the check must not ask at all
  std::unique_ptr<TlsContext> Context;  // set when the PACS is asked over TLS
};

// PACS_TLS off: usable, no context (the check asks in the clear). On: the
// requestor context from PACS_TLSCAFile, PACS_TLSCert and PACS_TLSKey; when
// a file cannot be used, not usable, with one "ERROR, PACS TLS, ..." line:
// the PACS is then not asked rather than asked without TLS.
PacsTls PacsTlsFromSettings();

}  // namespace tarvelin
