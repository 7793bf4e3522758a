#include "worklist/worklist_service.h"

#include "dimse/service_handlers.h"
#include "worklist/mpps.h"
#include "worklist/worklist_find.h"

namespace tarvelin {

void RegisterWorklistServices() {
  ServiceHandlers handlers;
  handlers.WorklistFind = WorklistFind;
  handlers.CreateMPPS = CreateMPPS;
  handlers.SetMPPS = SetMPPS;
  SetServiceHandlers(handlers);
}

}  // namespace tarvelin
