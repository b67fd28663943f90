// The listing pass: the engine reads the payload's description records out to PatchInfo.
#pragma once

#include <cstdint>

#include "src/engine_host/engine_contract.h"

// The listing pass's engine callback: fills PatchInfo.
const char* PATCHW32_CALL ListPassCallback(uint32_t messageId, void* parameter);

// Runs the listing pass over the current folder, title-cases ProductName and derives ShortName.
// Returns the engine's result: 0 on success.
int32_t ReadPatchInfo();
