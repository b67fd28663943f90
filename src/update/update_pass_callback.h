// The update pass's engine callback: per-file log lines, the bars, cancel and error dialogs.
#pragma once

#include <cstdint>

#include "src/engine_host/engine_contract.h"

namespace update {

const char* PATCHW32_CALL UpdatePassCallback(uint32_t messageId, void* parameter);

}  // namespace update
