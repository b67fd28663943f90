// The expansion file scan: directory search, one header read per file, entries sorted by name.
#include "src/detect/xpd_manager.h"

#include <cctype>

#include "platform/files.h"
#include "src/detect/qm_stream_file.h"
#include "src/detect/regular_file.h"

XPDManager Expansions;

int CompareInfoNames(const XPDInfo* a, const XPDInfo* b) {
  const std::string& x = a->Name;
  const std::string& y = b->Name;
  for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
    int cx = std::toupper(static_cast<unsigned char>(x[i]));
    int cy = std::toupper(static_cast<unsigned char>(y[i]));
    if (cx != cy) return static_cast<unsigned char>(cx) < static_cast<unsigned char>(cy) ? -1 : 1;
  }
  return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
}

int XPDManager::ScanExpansionFiles(const std::string& folder) {
  auto search = platform::DirectorySearch::Start(folder + "*" + ".XPD");
  int examined = 0;
  for (bool matched = search != nullptr; matched && examined < kMaxFilesPerScan; matched = search->Next()) {
    // A folder, named pipe, device or socket named like an expansion file is no expansion file.
    std::string path = folder + search->Name();
    if (!IsRegularFile(path)) continue;
    Found = 1;
    QMStreamFile file(path);
    auto entry = std::make_unique<XPDInfo>();
    entry->Name = file.Name;
    entry->VersionText = file.VersionText;
    if (uint32_t id = file.ExtractId()) {
      AnyValid = 1;
      entry->Id = id;
      entry->Index = examined;
      ++ValidCount;
    } else {
      ++InvalidCount;
    }
    Entries.AppendSlot() = std::move(entry);
    ++examined;
  }
  search.reset();
  Entries.Sort([](const std::unique_ptr<XPDInfo>& a, const std::unique_ptr<XPDInfo>& b) {
    return CompareInfoNames(a.get(), b.get());
  });
  return Found;
}
