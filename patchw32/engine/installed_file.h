// One payload entry against the installation: whether a pass announces it, and which version of
// the file is there.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "patchw32/engine/host_channel.h"
#include "patchw32/engine/installation.h"
#include "patchw32/format/format.h"
#include "platform/files.h"

namespace engine {

struct PlannedFile {
  const payload::FileEntry* entry = nullptr;
  std::string target;  // relative to the installation, spelled as on disk
  platform::PathKind kind = platform::PathKind::Missing;
  std::vector<std::string> references;  // the entry's references, likewise
};

// The entries a pass announces, in payload order. Left out: a missing optional (expansion) file,
// and a file to delete that is already gone. Both passes announce the same ones.
std::vector<PlannedFile> PlanAnnouncedFiles(const payload::PayloadIndex& index, Installation& installation);

enum class Finding {
  NeedsPatch,  // the expected old version (or, for an added file, nothing) is there
  AlreadyNew,  // the new version is there already
  Mismatch,    // another file of the same name, or a required file is missing
  ReferenceMismatch,  // the file is as expected, but an old file it is made from is not
};

enum class ReadOutcome { Ok, ReadError, Stopped };

// Told the bytes read so far; false stops.
using ByteProgress = std::function<bool(uint64_t done, uint64_t total)>;

// Reads and hashes the installed file when its size could be either version's; when it needs
// the patch and is made from a reference, that too.
ReadOutcome CheckInstalledFile(const Installation& installation, const PlannedFile& file,
                               const ByteProgress& progress, Finding& finding);

// The notice for a file left alone (finding Mismatch or ReferenceMismatch).
std::string LeftAloneNotice(const PlannedFile& file, Finding finding);

// XXH3-64 of the entry's data block, read from the patch in fixed-size pieces.
ReadOutcome HashDataBlock(const platform::File& patch, const payload::PayloadIndex& index,
                          const payload::FileEntry& entry, const ByteProgress& progress, uint64_t& hash);

// Current-file progress for the host: id 5 with 0 to 32768, sent when it has moved enough to
// show, and always at the end.
class ProgressMeter {
 public:
  explicit ProgressMeter(HostChannel& host) : host_(host) {}
  bool Report(uint64_t done, uint64_t total);
  bool Complete() { return Report(1, 1); }

 private:
  HostChannel& host_;
  int64_t last_ = -1;
};

}  // namespace engine
