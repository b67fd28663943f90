// Installed version detection: the executable's stamp, else the checksum rules; then the expansions.
#include "src/detect/version_detection.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "patchw32/format/names.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "src/detect/game_path.h"
#include "src/detect/regular_file.h"

namespace {

constexpr uint64_t kMarkerAt = 78;
constexpr std::string_view kMarker = "Windows only.\r\n";
constexpr uint64_t kStampTextAt = 94;
constexpr size_t kStampTextSize = 16;

}  // namespace

int ReadExeVersionStamp(const std::string& path, Version& target) {
  auto file = OpenRegularFile(path);
  if (!file) return 0;
  std::optional<uint64_t> size = file->Size();
  if (!size || *size < kMarkerAt + kMarker.size()) return 0;
  std::array<char, kMarker.size()> marker{};
  if (!file->ReadAt(kMarkerAt, std::as_writable_bytes(std::span(marker)))) return 0;
  if (std::string_view(marker.data(), marker.size()) != kMarker) return 0;
  // A file that ends inside the text gives what it holds of it.
  std::array<char, kStampTextSize> text{};
  size_t held = *size > kStampTextAt ? static_cast<size_t>(std::min<uint64_t>(*size - kStampTextAt, kStampTextSize)) : 0;
  if (held && !file->ReadAt(kStampTextAt, std::as_writable_bytes(std::span(text).first(held)))) held = 0;
  file.reset();
  size_t length = std::find(text.begin(), text.begin() + held, '\0') - text.begin();
  ParseVersionStamp(target, std::string(text.data(), length));
  return 1;
}

uint32_t XorChecksum(const std::string& path, int32_t length) {
  auto file = OpenRegularFile(path);
  if (!file) return 0;
  std::optional<uint64_t> size = file->Size();
  if (!size) return 0;
  // Every word that begins below the length is read whole, as far as the file holds it.
  uint64_t limit = length == -1 ? *size : static_cast<uint32_t>(length);
  limit = std::min(*size, (limit + 3) / 4 * 4);
  uint32_t sum = 0;
  std::vector<std::byte> buffer(1 << 16);
  for (uint64_t offset = 0; offset < limit;) {
    size_t chunk = static_cast<size_t>(std::min<uint64_t>(buffer.size(), limit - offset));
    if (!file->ReadAt(offset, std::span(buffer).first(chunk))) break;
    for (size_t i = 0; i < chunk; ++i)
      sum ^= static_cast<uint32_t>(buffer[i]) << (8 * ((offset + i) % 4));
    offset += chunk;
  }
  return sum;
}

int32_t ParseInt32(const std::string& text) {
  auto invalid = [&] { return platform::FrameworkError("'" + text + "' is not a valid integer value"); };
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  if (pos == text.size()) throw invalid();
  int64_t magnitude = 0;
  for (; pos < text.size(); ++pos) {
    if (text[pos] < '0' || text[pos] > '9') throw invalid();
    magnitude = magnitude * 10 + (text[pos] - '0');
    if (magnitude > int64_t{std::numeric_limits<int32_t>::max()} + 1) throw invalid();
  }
  int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) throw invalid();
  return static_cast<int32_t>(value);
}

int DetectInstalledVersion(Update& info, XPDManager& expansions) {
  if (ReadExeVersionStamp(GamePath(info.InstallPath, info.ExeName), info.InstalledVersion) != 1) {
    // The four lists are parallel; the shortest bounds them should one ever be shorter.
    size_t count = std::min({info.ChecksumValues.size(), info.ChecksumFiles.size(),
                             info.ChecksumLengths.size(), info.ChecksumVersions.size()});
    bool matched = false;
    for (size_t i = 0; i < count && !matched; ++i) {
      std::string path = GamePath(info.InstallPath, info.ChecksumFiles[i]);
      int32_t length = ParseInt32(info.ChecksumLengths[i]);
      uint32_t sum = XorChecksum(path, length);
      int32_t expected = ParseInt32(info.ChecksumValues[i]);
      if (static_cast<uint32_t>(expected) == sum) {
        ParseVersionStamp(info.InstalledVersion, info.ChecksumVersions[i]);
        matched = true;
      }
    }
    if (!matched) return 0;
  }

  expansions.ScanExpansionFiles(info.InstallPath + platform::PathSeparator());
  for (const auto& entry : expansions.Entries) {
    std::string id = std::to_string(entry->Id);
    bool listed = std::any_of(info.ExpansionIds.begin(), info.ExpansionIds.end(),
                              [&](const std::string& known) { return payload::SameName(known, id); });
    if (listed) ParseVersionStamp(info.ExpansionVersion, entry->VersionText);
  }
  return 1;
}
