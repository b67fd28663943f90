// Reading an expansion data file's header: one read of 116 bytes, missing bytes counting as zero.
#include "src/detect/qm_stream_file.h"

#include <algorithm>

#include "src/detect/regular_file.h"

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
