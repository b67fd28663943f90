// The verification pass's engine callback: files to patch, space needed, mismatches.
#pragma once

#include <cstdint>

#include "src/engine_host/engine_contract.h"

namespace update {

const char* PATCHW32_CALL VerifyPassCallback(uint32_t messageId, void* parameter);

}  // namespace update
