// The builder's heart: two release trees -> the payload's entries and data blocks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "patchw32/format/format.h"

namespace mkpatch {

struct BuildRequest {
  std::string oldTree;
  std::string newTree;
  std::vector<std::string> records;
  int level = 19;
  unsigned threads = 0;  // 0: every core
  // Told after each file: files done, files in all, the path just finished. Empty: no report.
  std::function<void(size_t done, size_t total, const std::string& path)> progress;
  // One line per file worth a publisher's attention (stderr in the command).
  std::function<void(const std::string& line)> warn;
};

// Entries sorted by path, their data offsets laid out in that order. The blocks themselves are in
// the spool file in the order they were finished; spoolOffsets says where each entry's is.
// oldFiles names the old files on disk each entry is decoded against, joined in this order (its
// references, its own old file, or none for an added file made from nothing), for the self-check.
struct BuiltPayload {
  std::vector<payload::FileEntry> entries;
  std::vector<uint64_t> spoolOffsets;
  std::vector<std::vector<std::string>> oldFiles;
  uint64_t dataLength = 0;
};

// Compares the trees and encodes every changed, added and deleted file into `spoolFile`
// (created). The same trees, records and level always give the same entries and blocks.
// Throws std::runtime_error with a one-line reason.
BuiltPayload BuildPayloadData(const BuildRequest& request, const std::string& spoolFile);


}  // namespace mkpatch
