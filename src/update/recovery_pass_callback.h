// The recovery pass's engine callback: what the engine found of an interrupted update.
#pragma once

#include <cstdint>

#include "src/engine_host/engine_contract.h"

namespace update {

const char* PATCHW32_CALL RecoveryPassCallback(uint32_t messageId, void* parameter);

}  // namespace update
