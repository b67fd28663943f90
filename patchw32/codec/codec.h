// The delta codecs: how a file's new contents are coded against its old ones, and decoded.
//
// Encoding (the builder) sees both files whole; decoding (the engine) streams: it reads the data
// block and the old file at offsets and hands the new contents to a sink in order, in fixed-size
// buffers, so apply memory does not grow with the file size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "patchw32/format/format.h"

namespace codec {

// Reads exactly buffer.size() bytes at offset; false when it can't.
using ReadAt = std::function<bool(uint64_t offset, std::span<std::byte> buffer)>;
// Told of bytes of a file (mapped by the caller) that are not needed for now.
using ReleasePages = std::function<void(std::span<const std::byte> bytes)>;
// Takes the next bytes of output; false stops with a write error.
using Sink = std::function<bool(std::span<const std::byte> bytes)>;
// Told the new bytes produced so far; false stops the decode.
using Progress = std::function<bool(uint64_t done, uint64_t total)>;

struct EncodeOptions {
  int level = 19;        // zstd level for the zstd streams
  unsigned threads = 1;  // worker threads the encoder may use; the output does not depend on it
  // Codes each finalist through LZMA too, and keeps whichever stage is smaller (zstd on a tie);
  // a finalist past 4 MiB only through the stage that codes the first 2 MiB of its stream smaller.
  bool lzma = true;
  // The largest old file matched through one suffix array over it whole (0: the default, 128 MiB,
  // which keeps that within 1 GiB). A larger one is matched blocks first, with suffix arrays only
  // over the old bytes near what the blocks leave unexplained.
  uint64_t wholeIndexMax = 0;
  // Told, from any of the encoder's threads, of bytes of either file it is done with for now: a
  // caller that mapped the files may drop those pages (platform::MappedFile::Release), so that a
  // large file's build does not hold both files in memory. They may still be read again later.
  ReleasePages release = {};
};

struct Encoded {
  payload::Codec codec = payload::Codec::PlainZstd;
  std::vector<std::byte> data;
};

// The smallest coding of newFile given oldFile (empty for an added file).
Encoded EncodeFile(std::span<const std::byte> oldFile, std::span<const std::byte> newFile,
                   const EncodeOptions& options);

// The entropy stage a data block is coded with, named by its first byte: "lzma" or "zstd".
const char* StageName(std::byte firstByte);

enum class DecodeResult { Ok, CorruptData, ReadError, WriteError, Stopped };

// Decodes a data block of `blockLength` bytes into exactly `newSize` bytes. Every length and
// offset inside the block is checked against the block, the old file and newSize before use.
DecodeResult DecodeFile(payload::Codec codec, const ReadAt& block, uint64_t blockLength,
                        const ReadAt& oldFile, uint64_t oldSize, uint64_t newSize, const Sink& sink,
                        const Progress& progress);

}  // namespace codec
