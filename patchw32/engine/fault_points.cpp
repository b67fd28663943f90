// The test build's fault handlers: a test installs one that counts steps and ends the process,
// and one that makes chosen steps fail.
#include "patchw32/engine/fault_points.h"

#ifdef ORVAN_ENGINE_FAULTS
namespace engine {
namespace {
FaultHandler faultHandler = nullptr;
RefusalHandler refusalHandler = nullptr;
}  // namespace

void FaultPoint(const char* step) {
  if (faultHandler) faultHandler(step);
}

void SetFaultHandler(FaultHandler handler) { faultHandler = handler; }

bool RefusedByTest(const char* step) { return refusalHandler && refusalHandler(step); }

void SetRefusalHandler(RefusalHandler handler) { refusalHandler = handler; }

}  // namespace engine
#endif
