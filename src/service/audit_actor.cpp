#include "service/audit_actor.h"

namespace tarvelin {

namespace {
const AuditActor kServer{"server", "", ""};
thread_local AuditActor current = kServer;
}  // namespace

AuditActorScope::AuditActorScope(AuditActor actor) : outer_(std::move(current)) { current = std::move(actor); }

AuditActorScope::~AuditActorScope() { current = std::move(outer_); }

const AuditActor& CurrentAuditActor() { return current; }

}  // namespace tarvelin
