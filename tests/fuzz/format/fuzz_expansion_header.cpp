// Any bytes as the start of an expansion data file: decoding never reads past them, and a header
// that the check accepts is one the builder would write for the same identifier. With an odd
// first byte the magic and the check value are made to fit, so that valid headers are common.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "patchw32/format/expansion_header.h"

namespace {

void PutWord(std::vector<std::byte>& bytes, size_t offset, uint32_t word) {
  for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::byte>(word >> (8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::vector<std::byte> bytes(reinterpret_cast<const std::byte*>(data + 1),
                               reinterpret_cast<const std::byte*>(data + 1) + std::min(size - 1, kExpansionHeaderSize));
  if ((data[0] & 1) && bytes.size() >= 36) {
    ExpansionFileHeader fields = DecodeExpansionHeader(bytes);
    uint32_t checkCount = fields.CheckCount % 33;  // 32: one more than the table holds
    uint32_t check = 0;
    for (unsigned t = 0; t <= checkCount && t < 32; ++t) GatherBit(fields, CheckBitTable[t], check, t);
    PutWord(bytes, 4, checkCount);
    PutWord(bytes, 8, kExpansionMagic);
    PutWord(bytes, 20, check);
  }

  ExpansionFileHeader header = DecodeExpansionHeader(bytes);
  uint32_t id = ExtractIdFromHeader(header);

  std::string text;
  int fields = FormatVersionNumber(header.VersionNumber, text);
  if ((fields != 3 && fields != 4) || text.size() > 15) std::abort();

  if (id != 0) {
    if (id == ReservedId || header.CheckCount > 31 || header.Magic != kExpansionMagic) std::abort();
    std::array<std::byte, kExpansionHeaderSize> rewritten{};
    std::copy(bytes.begin(), bytes.end(), rewritten.begin());
    EncodeExpansionHeader(rewritten, id, header.VersionNumber, header.CheckCount);
    ExpansionFileHeader again = DecodeExpansionHeader(rewritten);
    if (ExtractIdFromHeader(again) != id || again.VersionNumber != header.VersionNumber) std::abort();
  }
  return 0;
}
