// Reading an expansion data file's header: one read of 116 bytes, missing bytes counting as zero.
#include "src/detect/qm_stream_file.h"

#include <algorithm>
#include <cstdio>

#include "src/detect/regular_file.h"

int FormatVersionNumber(int32_t number, std::string& out) {
  int32_t major = number / 1000000;
  int32_t minor = (number / 10000) % 100;
  int32_t build = (number / 100) % 100;
  int32_t revision = number % 100;
  char text[48];
  int fields = revision > 0 ? 4 : 3;
  if (fields == 4)
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", major, minor, build, revision);
  else
    std::snprintf(text, sizeof text, "%d.%d.%d", major, minor, build);
  out = text;
  return fields;
}

QMStreamFile::QMStreamFile(const std::string& path) {
  size_t cut = path.rfind(platform::PathSeparator());
  Name = cut == std::string::npos ? path : path.substr(cut + 1);
  Handle = OpenRegularFile(path);
  if (!Handle) return;
  std::optional<uint64_t> size = Handle->Size();
  if (!size || *size == 0) return;
  size_t want = static_cast<size_t>(std::min<uint64_t>(*size, kExpansionHeaderSize));
  if (!Handle->ReadAt(0, std::span(Header).first(want))) {
    Header.fill(std::byte{0});
    return;
  }
  Fields = DecodeExpansionHeader(Header);
  FormatVersionNumber(Fields.VersionNumber, VersionText);
}

uint32_t QMStreamFile::ExtractId() const { return ExtractIdFromHeader(Fields); }

void QMStreamFile::GatherBit(unsigned position, uint32_t& accumulator, unsigned target) const {
  ::GatherBit(Fields, position, accumulator, target);
}
