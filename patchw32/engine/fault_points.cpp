// The test build's fault handler: a test installs one that counts steps and ends the process.
#include "fault_points.h"

#ifdef ORVAN_ENGINE_FAULTS
namespace engine {
namespace {
FaultHandler handler = nullptr;
}  // namespace

void FaultPoint(const char* step) {
  if (handler) handler(step);
}

void SetFaultHandler(FaultHandler newHandler) { handler = newHandler; }

}  // namespace engine
#endif
