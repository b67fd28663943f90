// Test-only fault injection: the points of the commit and of recovery where a test kills the
// engine, and the steps a test makes fail as the system might.
//
// Only the test build of the engine (ORVAN_ENGINE_FAULTS, set by tests/unit/engine) has handlers
// to call; in the library that ships, both are empty inline functions.
#pragma once

namespace engine {

#ifdef ORVAN_ENGINE_FAULTS
// Called after each step that changes the installation; `step` names it for the test's messages.
void FaultPoint(const char* step);
using FaultHandler = void (*)(const char* step);
void SetFaultHandler(FaultHandler handler);

// Whether the test makes `step` fail as the system might: "commit: link original" as on a file
// system without hard links, "finish: remove original" as for a file another program holds open.
bool RefusedByTest(const char* step);
using RefusalHandler = bool (*)(const char* step);
void SetRefusalHandler(RefusalHandler handler);
#else
inline void FaultPoint(const char*) {}
inline bool RefusedByTest(const char*) { return false; }
#endif

}  // namespace engine
