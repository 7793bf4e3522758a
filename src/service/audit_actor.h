#pragma once
// Who causes the changes a thread makes, for the audit trail. The code that
// knows the actor (a web request after its login, a DICOM association after
// its negotiation, an HL7 message from its header) opens a scope; audit
// events written on that thread while it lives name the actor, so the code
// that makes the change need not carry it. Scopes nest; the inner one wins
// until it ends. Without a scope the actor is the server itself.
#include <string>

namespace tarvelin {

struct AuditActor {
  std::string type;     // "web user", "calling AE", "HL7 sender", "order file", "housekeeping", "setup"
  std::string who;      // the user name, AE title, MSH-3^MSH-4, file name
  std::string address;  // the peer's IP address ("" for the server's own work)
};

class AuditActorScope {
 public:
  explicit AuditActorScope(AuditActor actor);
  ~AuditActorScope();
  AuditActorScope(const AuditActorScope&) = delete;
  AuditActorScope& operator=(const AuditActorScope&) = delete;

 private:
  AuditActor outer_;
};

// The actor of the innermost live scope of this thread; {"server", "", ""}
// when none.
const AuditActor& CurrentAuditActor();

}  // namespace tarvelin
