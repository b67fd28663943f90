// Any bytes at all, taken as an updater with a payload: the reader must refuse or accept cleanly.
// The first byte picks how far in the bytes go: raw; as an index under a valid trailer; or as the
// body of an index behind a valid magic and version, so that the fuzzer reaches the record and
// file-table parsers past the checksums.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "patchw32/format/format.h"
#include "patchw32/format/payload_reader.h"
#include "patchw32/format/payload_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  auto bytes = std::as_bytes(std::span(data + 2, size - 2));
  payload::PayloadIndex index;
  std::string error;
  int mode = data[0] % 3;
  if (mode == 0) {
    payload::ReadPayloadIndex(bytes, index, error);
    return 0;
  }
  std::vector<std::byte> indexBytes;
  if (mode == 2) {
    indexBytes.resize(12);
    std::memcpy(indexBytes.data(), payload::kIndexMagic, 8);
    uint32_t version = payload::kFormatVersion;
    std::memcpy(indexBytes.data() + 8, &version, 4);
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
