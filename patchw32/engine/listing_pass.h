// The listing pass: the payload's description records, in order, to the host.
#pragma once

#include <cstdint>

#include "format.h"
#include "host_channel.h"

namespace engine {

int32_t RunListingPass(const payload::PayloadIndex& index, HostChannel& host);

}  // namespace engine
