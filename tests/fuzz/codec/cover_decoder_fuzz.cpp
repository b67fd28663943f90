// Feeds the cover decoder hostile data blocks: either the input itself as the block (a hostile
// zstd frame, or LZMA block behind the LZMA tag), or the input as the decompressed covers stream,
// compressed here with zstd or LZMA so that the fuzzer reaches the records' checks. Nothing may
// crash, read out of bounds or overrun newSize.
#include <lzma.h>
#include <zstd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "patchw32/codec/codec.h"
#include "patchw32/codec/lzma_block.h"

namespace {

const std::vector<std::byte>& OldFile() {
  static const std::vector<std::byte> file = [] {
    std::vector<std::byte> bytes(4096);
    uint32_t x = 12345;
    for (auto& b : bytes) b = static_cast<std::byte>((x = x * 1103515245 + 12345) >> 24);
    return bytes;
  }();
  return file;
}

codec::ReadAt ReaderOf(const std::vector<std::byte>& bytes) {
  return [&bytes](uint64_t offset, std::span<std::byte> buffer) {
    if (offset > bytes.size() || buffer.size() > bytes.size() - offset) std::abort();  // the decoder must check first
    std::memcpy(buffer.data(), bytes.data() + offset, buffer.size());
    return true;
  };
}

// `rest` as an LZMA block with a dictionary of 4 KiB (our encoder's for a small file).
std::vector<std::byte> LzmaBlock(const std::vector<std::byte>& rest) {
  lzma_options_lzma options{};
  lzma_lzma_preset(&options, 0);
  options.dict_size = static_cast<uint32_t>(codec::kLzmaDictionaryMin);
  lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  std::vector<std::byte> block(codec::kLzmaHeaderBytes + rest.size() + rest.size() / 16 + 64);
  block[0] = codec::kLzmaBlockTag;
  block[1] = std::byte{0};
  size_t written = codec::kLzmaHeaderBytes;
  if (lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const uint8_t*>(rest.data()), rest.size(),
                             reinterpret_cast<uint8_t*>(block.data()), &written, block.size()) != LZMA_OK)
    std::abort();
  block.resize(written);
  return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  // First byte: how the rest is used (bit 0: compressed here; bit 3: through LZMA, or as it is
  // behind the LZMA tag) and which codec decodes it (covers, with or without converted branches,
  // or delta coding); next two: the new file's size (up to 64 KiB).
  bool compressHere = data[0] & 1;
  bool lzma = data[0] & 8;
  static const payload::Codec codecs[] = {payload::Codec::Covers, payload::Codec::CoversX86,
                                          payload::Codec::CoversX64, payload::Codec::DeltaZstd};
  payload::Codec codec = codecs[(data[0] >> 1) & 3];
  uint64_t newSize = data[1] | (uint64_t{data[2]} << 8);
  std::vector<std::byte> rest(reinterpret_cast<const std::byte*>(data + 3), reinterpret_cast<const std::byte*>(data + size));
  std::vector<std::byte> block = rest;
  if (compressHere && lzma) {
    block = LzmaBlock(rest);
  } else if (compressHere) {
    block.resize(ZSTD_compressBound(rest.size()));
    block.resize(ZSTD_compress(block.data(), block.size(), rest.data(), rest.size(), 1));
  } else if (lzma) {
    block.insert(block.begin(), codec::kLzmaBlockTag);
  }
  const auto& oldFile = OldFile();
  uint64_t written = 0;
  codec::DecodeFile(codec, ReaderOf(block), block.size(), ReaderOf(oldFile), oldFile.size(), newSize,
                    [&](std::span<const std::byte> bytes) {
                      written += bytes.size();
                      if (written > newSize) std::abort();
                      return true;
                    },
                    nullptr);
  return 0;
}
