// The builder's check of its own work: the written payload read back as the engine reads it, and
// every entry applied in memory against its old file, before the updater is renamed into place.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "mkpatch/patch_builder.h"
#include "patchw32/codec/codec.h"

namespace mkpatch {

// Applies one entry's data block against its old file's bytes in memory, as the engine would, and
// compares what comes out with the entry's new size and hash: what is wrong, or empty when the
// block decodes to the new file. (The bench times the builder's check with it too.) `release`, when
// given, is told of old bytes read, now and then, so that a mapped old file's pages can be dropped.
std::string ApplyAndCompare(const payload::FileEntry& entry, const codec::ReadAt& block,
                            std::span<const std::byte> oldFile, const codec::ReleasePages& release = {});

// Throws std::runtime_error with one line naming the first entry (in path order) whose data does
// not decode to its new file, or saying what of the index differs from what was built.
void CheckWrittenPayload(const std::string& updater, const std::vector<std::string>& records,
                         const BuiltPayload& built, unsigned threads);

}  // namespace mkpatch
