// Writing the index and trailer in the layout that payload_reader.cpp checks.
#include "patchw32/format/payload_writer.h"

#include <zstd.h>

#include <stdexcept>

#include "patchw32/format/byte_io.h"

namespace payload {
namespace {

constexpr int kIndexLevel = 19;

}  // namespace

std::vector<std::byte> EncodeIndex(const std::vector<std::string>& records,
                                   const std::vector<FileEntry>& entries, uint64_t dataLength) {
  // The body: the records, then the file table.
  ByteWriter body;
  for (const auto& record : records) {
    body.Write<uint32_t>(static_cast<uint32_t>(record.size()));
    body.WriteText(record);
  }
  uint64_t recordsLength = body.Bytes().size();
  for (const auto& entry : entries) {
    body.Write<uint16_t>(static_cast<uint16_t>(entry.path.size()));
    body.WriteText(entry.path);
    body.Write<uint8_t>(static_cast<uint8_t>(entry.operation));
    body.Write<uint8_t>(entry.flags);
    body.Write<uint8_t>(static_cast<uint8_t>(entry.codec));
    body.Write<uint8_t>(0);
    body.Write<uint64_t>(entry.oldSize);
    body.Write<uint64_t>(entry.oldHash.low);
    body.Write<uint64_t>(entry.oldHash.high);
    body.Write<uint64_t>(entry.newSize);
    body.Write<uint64_t>(entry.newHash.low);
    body.Write<uint64_t>(entry.newHash.high);
    body.Write<uint64_t>(entry.dataOffset);
    body.Write<uint64_t>(entry.dataLength);
    body.Write<uint64_t>(entry.dataHash);
    if (entry.HasReference()) {
      body.Write<uint8_t>(static_cast<uint8_t>(entry.references.size()));
      for (const auto& reference : entry.references) {
        body.Write<uint16_t>(static_cast<uint16_t>(reference.path.size()));
        body.WriteText(reference.path);
        body.Write<uint64_t>(reference.size);
        body.Write<uint64_t>(reference.hash.low);
        body.Write<uint64_t>(reference.hash.high);
      }
    }
  }
  // Records and file table as one zstd frame: paths share most of their folders and sizes most of
  // their bytes, so this halves a file table of many small files (the hashes are what remains).
  std::vector<std::byte> packed(ZSTD_compressBound(body.Bytes().size()));
  size_t packedSize = ZSTD_compress(packed.data(), packed.size(), body.Bytes().data(), body.Bytes().size(), kIndexLevel);
  if (ZSTD_isError(packedSize)) throw std::runtime_error("cannot compress the patch's index");
  packed.resize(packedSize);

  ByteWriter index;
  index.WriteBytes(std::as_bytes(std::span(kIndexMagic)));
  index.Write<uint32_t>(kFormatVersion);
  index.Write<uint32_t>(static_cast<uint32_t>(records.size()));
  index.Write<uint32_t>(static_cast<uint32_t>(entries.size()));
  index.Write<uint32_t>(0);
  index.Write<uint64_t>(recordsLength);
  index.Write<uint64_t>(body.Bytes().size() - recordsLength);
  index.Write<uint64_t>(dataLength);
  index.WriteBytes(packed);
  return std::move(index.Bytes());
}

std::vector<std::byte> EncodeTrailer(uint64_t payloadOffset, const std::vector<std::byte>& index,
                                     uint64_t dataLength) {
  ByteWriter trailer;
  trailer.WriteBytes(std::as_bytes(std::span(kTrailerMagic)));
  trailer.Write<uint32_t>(kFormatVersion);
  trailer.Write<uint32_t>(kTrailerSize);
  trailer.Write<uint64_t>(payloadOffset);
  trailer.Write<uint64_t>(index.size() + dataLength);
  trailer.Write<uint64_t>(index.size());
  trailer.Write<uint64_t>(Hash64(index));
  return std::move(trailer.Bytes());
}

}  // namespace payload
