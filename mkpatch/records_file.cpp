// Records are checked here so that a payload the updater would reject is never built.
#include "mkpatch/records_file.h"

#include <algorithm>
#include <stdexcept>

#include "patchw32/format/format.h"
#include "patchw32/format/records.h"
#include "platform/files.h"

namespace mkpatch {

namespace {

// No records file that the index could hold is larger than this.
constexpr uint64_t kMaxRecordsFileBytes = payload::kMaxIndexLength;

std::string ReadWhole(const std::string& path) {
  auto file = platform::File::Open(path, platform::File::Mode::Read);
  auto size = file ? file->Size() : std::nullopt;
  if (!size) throw std::runtime_error("cannot read the records file " + path);
  if (*size > kMaxRecordsFileBytes) throw std::runtime_error(path + ": the records file is too large");
  std::string text(static_cast<size_t>(*size), '\0');
  if (!file->ReadAt(0, std::as_writable_bytes(std::span(text)))) throw std::runtime_error("cannot read the records file " + path);
  return text;
}

}  // namespace

std::vector<std::string> ReadRecordsFile(const std::string& path) {
  std::string text = ReadWhole(path);
  std::vector<std::string> records;
  bool hasVersions = false;
  int lineNumber = 0;
  for (size_t start = 0; start < text.size();) {
    ++lineNumber;
    size_t end = std::min(text.find('\n', start), text.size());
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    if (line.size() > payload::kMaxRecordLength)
      throw std::runtime_error(path + ":" + std::to_string(lineNumber) + ": the record is longer than " +
                               std::to_string(payload::kMaxRecordLength) + " bytes");
    if (line.find('\0') != std::string::npos)
      throw std::runtime_error(path + ":" + std::to_string(lineNumber) + ": the record holds a zero byte");
    hasVersions = hasVersions || payload::KindOfRecord(line) == payload::RecordKind::Versions;
    records.push_back(line);
  }
  if (records.size() > payload::kMaxRecords)
    throw std::runtime_error(path + ": more than " + std::to_string(payload::kMaxRecords) + " records");
  if (!hasVersions) throw std::runtime_error(path + ": there is no versions record");
  return records;
}

}  // namespace mkpatch
