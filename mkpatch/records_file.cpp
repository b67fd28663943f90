// Records are checked here so that a payload the updater would reject is never built.
#include "records_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <stdexcept>

#include "format.h"

namespace mkpatch {

std::vector<std::string> ReadRecordsFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read the records file " + path);
  std::vector<std::string> records;
  bool hasVersions = false;
  std::string line;
  for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    if (line.size() > payload::kMaxRecordLength)
      throw std::runtime_error(path + ":" + std::to_string(lineNumber) + ": the record is longer than " +
                               std::to_string(payload::kMaxRecordLength) + " bytes");
    if (line.find('\0') != std::string::npos)
      throw std::runtime_error(path + ":" + std::to_string(lineNumber) + ": the record holds a zero byte");
    std::string lower = line;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    hasVersions = hasVersions || lower.starts_with("versions");
    records.push_back(line);
  }
  if (in.bad()) throw std::runtime_error("cannot read the records file " + path);
  if (records.size() > payload::kMaxRecords)
    throw std::runtime_error(path + ": more than " + std::to_string(payload::kMaxRecords) + " records");
  if (!hasVersions) throw std::runtime_error(path + ": there is no versions record");
  return records;
}

}  // namespace mkpatch
