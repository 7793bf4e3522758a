#include "dimse/service_handlers.h"

namespace tarvelin {

namespace {
// Written once by the executable before the listener starts, read-only after.
ServiceHandlers registered;
}  // namespace

void SetServiceHandlers(const ServiceHandlers& handlers) { registered = handlers; }

const ServiceHandlers& RegisteredServiceHandlers() { return registered; }

}  // namespace tarvelin
