// XPDManager: the expansion data files (*.XPD) of the installation folder, one entry per file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "src/detect/qm_moveable_array.h"

struct XPDInfo {
  std::string Name;
  uint32_t Id = 0;     // 0 for a file without a valid header
  int32_t Index = -1;  // ordinal among the scan's examined files; -1 for a file without a valid header
  std::string VersionText;
};

// Orders entries by Name, upper-cased character by character, by unsigned character value.
int CompareInfoNames(const XPDInfo* a, const XPDInfo* b);

// The array owns the entries it points to: destroying the manager destroys them.
using XPDPtrArray = QMMoveableArray<std::unique_ptr<XPDInfo>>;

class XPDManager {
 public:
  // At most this many files are examined per scan.
  static constexpr int kMaxFilesPerScan = 31;

  XPDManager() = default;
  XPDManager(const XPDManager&) = delete;
  XPDManager& operator=(const XPDManager&) = delete;

  // Examines the first 31 regular files among the matches of folder + "*.XPD" (`folder` ends with
  // a separator; folders, pipes and devices are passed over unopened), adds one entry per file,
  // valid or not, and sorts Entries by name. Returns Found. Nothing is cleared
  // first: a second scan adds to the first.
  int ScanExpansionFiles(const std::string& folder);

  int Found = 0;     // 1 once any regular file matched the pattern
  int AnyValid = 0;  // 1 once any examined file had a valid header
  int ValidCount = 0;
  int InvalidCount = 0;
  XPDPtrArray Entries{32, 32};
};

// The one manager of the program, filled by installed-version detection. Constructed empty during
// static initialisation; neither it nor PatchInfo reads the other when built or destroyed, so
// their order between translation units changes nothing.
extern XPDManager Expansions;
