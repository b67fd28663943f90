// Any bytes at all, taken as an updater with a payload: the reader must refuse or accept cleanly.
// The first byte picks how far in the bytes go: raw; as an index under a valid trailer; as the body
// of an index stored unpacked behind a valid magic and version, so that the fuzzer reaches the
// record and file-table parsers past the checksums; or as the header fields and body of a packed
// index, the body packed for it, so that it reaches them through the unpacking too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <zstd.h>

#include "patchw32/format/format.h"
#include "patchw32/format/payload_reader.h"
#include "patchw32/format/payload_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  auto bytes = std::as_bytes(std::span(data + 2, size - 2));
  payload::PayloadIndex index;
  std::string error;
  int mode = data[0] % 4;
  if (mode == 0) {
    payload::ReadPayloadIndex(bytes, index, error);
    return 0;
  }
  std::vector<std::byte> indexBytes;
  if (mode >= 2) {
    indexBytes.resize(12);
    std::memcpy(indexBytes.data(), payload::kIndexMagic, 8);
    uint32_t version = mode == 2 ? payload::kStoredIndexVersion : payload::kFormatVersion;
    std::memcpy(indexBytes.data() + 8, &version, 4);
  }
  if (mode == 3) {
    // The counts (12 bytes), then the body, split between records and file table where two bytes
    // say; the lengths are made to agree with it, so that the parsers see every body.
    if (bytes.size() < 14) return 0;
    indexBytes.insert(indexBytes.end(), bytes.begin(), bytes.begin() + 12);
    auto body = bytes.subspan(14);
    uint64_t lengths[3] = {std::min<uint64_t>(static_cast<uint8_t>(bytes[12]) | static_cast<uint8_t>(bytes[13]) << 8,
                                              body.size()),
                           0, 0};
    lengths[1] = body.size() - lengths[0];
    indexBytes.resize(indexBytes.size() + sizeof lengths);
    std::memcpy(indexBytes.data() + indexBytes.size() - sizeof lengths, lengths, sizeof lengths);
    std::vector<std::byte> packed(ZSTD_compressBound(body.size()));
    packed.resize(ZSTD_compress(packed.data(), packed.size(), body.data(), body.size(), 1));
    indexBytes.insert(indexBytes.end(), packed.begin(), packed.end());
    auto trailer = payload::EncodeTrailer(0, indexBytes, 0);
    indexBytes.insert(indexBytes.end(), trailer.begin(), trailer.end());
    payload::ReadPayloadIndex(std::span(indexBytes), index, error);
    return 0;
  }
  indexBytes.insert(indexBytes.end(), bytes.begin(), bytes.end());
  uint64_t dataLength = std::min<uint64_t>(data[1] % 64, indexBytes.size());
  std::vector<std::byte> image(indexBytes);
  indexBytes.resize(indexBytes.size() - dataLength);
  auto trailer = payload::EncodeTrailer(0, indexBytes, dataLength);
  image.insert(image.end(), trailer.begin(), trailer.end());
  payload::ReadPayloadIndex(std::span(image), index, error);
  return 0;
}
