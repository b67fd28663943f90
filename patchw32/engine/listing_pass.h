// The listing pass: the payload's description records, in order, to the host.
#pragma once

#include <cstdint>

#include "patchw32/engine/host_channel.h"
#include "patchw32/format/format.h"

namespace engine {

int32_t RunListingPass(const payload::PayloadIndex& index, HostChannel& host);

}  // namespace engine
