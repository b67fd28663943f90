// Test-only fault injection: the points of the commit and of recovery where a test kills the engine.
//
// Only the test build of the engine (ORVAN_ENGINE_FAULTS, set by tests/unit/engine) has a handler
// to call; in the library that ships, FaultPoint is an empty inline function.
#pragma once

namespace engine {

#ifdef ORVAN_ENGINE_FAULTS
// Called after each step that changes the installation; `step` names it for the test's messages.
void FaultPoint(const char* step);
using FaultHandler = void (*)(const char* step);
void SetFaultHandler(FaultHandler handler);
#else
inline void FaultPoint(const char*) {}
#endif

}  // namespace engine
