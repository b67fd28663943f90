// The builder's check of its own work: the written payload read back as the engine reads it, and
// every entry applied in memory against its old file, before the updater is renamed into place.
#pragma once

#include <string>
#include <vector>

#include "patch_builder.h"

namespace mkpatch {

// Throws std::runtime_error with one line naming the first entry (in path order) whose data does
// not decode to its new file, or saying what of the index differs from what was built.
void CheckWrittenPayload(const std::string& updater, const std::vector<std::string>& records,
                         const BuiltPayload& built, unsigned threads);

}  // namespace mkpatch
