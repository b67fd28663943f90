// Which old file a new file was made from, found by its content: a file renamed, moved, copied or
// split off from another is coded against that one rather than from nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "mkpatch/tree_walk.h"

namespace mkpatch {

// A sample of a file's content: the positions where a rolling hash of the last 64 bytes has its
// top bits clear (about one in 512), each named by that hash. The same bytes give the same
// fingerprints wherever they stand, in whichever file.
std::vector<uint64_t> Fingerprints(std::span<const std::byte> bytes);

class ReferenceFinder {
 public:
  // Reads every old file once, on up to `threads` threads.
  ReferenceFinder(const std::vector<TreeFile>& oldFiles, unsigned threads);

  // The old files newBytes was made from, at most `most`: first the one that shares the most
  // fingerprints with it, when that is an eighth of them; then, one by one, the one that holds the
  // most of those not yet held, while that is a sixteenth (a file merged from several). Ties go to
  // the old file at `ownPath` (a changed file's own), else to the first path, so the same trees
  // always give the same answer. Empty when none qualifies.
  std::vector<const TreeFile*> Find(std::span<const std::byte> newBytes, size_t most,
                                    const std::string& ownPath = {}) const;

 private:
  const std::vector<TreeFile>& oldFiles_;
  std::vector<std::pair<uint64_t, uint32_t>> table_;  // (fingerprint, old file), sorted
};

}  // namespace mkpatch
