// The update pass: every announced file patched, staged beside its target, and swapped in all
// together under the journal, or nothing changed at all.
#pragma once

#include <cstdint>
#include <string>

#include "patchw32/engine/host_channel.h"
#include "patchw32/engine/installation.h"
#include "patchw32/format/format.h"
#include "platform/files.h"

namespace engine {

// `backupFolder`: the -b: argument (relative to the installation), or empty.
int32_t RunUpdatePass(const payload::PayloadIndex& index, const platform::File& patch, Installation& installation,
                      const std::string& backupFolder, HostChannel& host);

}  // namespace engine
