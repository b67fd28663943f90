// The verification pass: which files the update would patch, and whether it has the room; it
// changes nothing.
#pragma once

#include <cstdint>

#include "patchw32/engine/host_channel.h"
#include "patchw32/engine/installation.h"
#include "patchw32/format/format.h"
#include "platform/files.h"

namespace engine {

int32_t RunVerificationPass(const payload::PayloadIndex& index, const platform::File& patch,
                            Installation& installation, HostChannel& host);

// The bytes the update of these files needs beyond what the installation holds now: staged new
// contents (in whole clusters) and two copies of the journal. Originals, backed up or not, are
// moved rather than copied, and need none.
uint64_t RequiredBytes(const std::vector<const payload::FileEntry*>& patched, uint64_t announcedPathBytes);

}  // namespace engine
