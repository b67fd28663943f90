// The check decodes from the file about to be committed, so it covers the index, the copy of every
// block and the trailer as well as the codec; the decoders are the engine's own.
#include "mkpatch/self_check.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "patchw32/codec/codec.h"
#include "patchw32/format/hash.h"
#include "patchw32/format/payload_reader.h"
#include "platform/files.h"

namespace mkpatch {

namespace {

constexpr size_t kReadPiece = 1 << 20;
// The check releases the old pages it read every this many bytes.
constexpr uint64_t kReleaseEvery = uint64_t{64} << 20;

bool SameEntry(const payload::FileEntry& a, const payload::FileEntry& b) {
  return a.path == b.path && a.operation == b.operation && a.flags == b.flags && a.codec == b.codec &&
         a.oldSize == b.oldSize && a.oldHash == b.oldHash && a.newSize == b.newSize && a.newHash == b.newHash &&
         a.dataOffset == b.dataOffset && a.dataLength == b.dataLength && a.dataHash == b.dataHash;
}

const char* DecodeProblem(codec::DecodeResult result) {
  switch (result) {
    case codec::DecodeResult::CorruptData: return "its data does not decode";
    case codec::DecodeResult::ReadError: return "its data or old file could not be read";
    case codec::DecodeResult::WriteError: return "it decodes to more bytes than the new file has";
    default: return "its decoding stopped";
  }
}

// Applies one entry from the written file; returns what is wrong with it, or nothing.
std::string CheckEntry(const platform::File& updater, uint64_t dataAreaOffset, const payload::FileEntry& entry,
                       const std::vector<std::string>& oldFiles) {
  if (entry.operation == payload::Operation::Delete) return {};
  uint64_t blockStart = dataAreaOffset + entry.dataOffset;
  codec::ReadAt block = [&](uint64_t offset, std::span<std::byte> buffer) {
    return offset <= entry.dataLength && buffer.size() <= entry.dataLength - offset &&
           updater.ReadAt(blockStart + offset, buffer);
  };

  payload::StreamingHash64 blockHash;
  std::vector<std::byte> piece(kReadPiece);
  for (uint64_t at = 0; at < entry.dataLength;) {
    auto part = std::span(piece).first(static_cast<size_t>(std::min<uint64_t>(piece.size(), entry.dataLength - at)));
    if (!block(at, part)) return "its data could not be read back";
    blockHash.Update(part);
    at += part.size();
  }
  if (blockHash.Digest() != entry.dataHash) return "its data was not written as it was made";

  // Decoded against its references when it has them, joined as the engine joins them, else
  // against its own old file.
  std::vector<std::unique_ptr<platform::MappedFile>> olds;
  for (const auto& oldFile : oldFiles) {
    olds.push_back(platform::MappedFile::Open(oldFile));
    if (!olds.back()) return "its old file " + oldFile + " could not be read";
  }
  std::vector<std::byte> joined;
  std::span<const std::byte> oldBytes;
  if (olds.size() == 1) oldBytes = olds.front()->Bytes();
  for (size_t i = 0; olds.size() > 1 && i < olds.size(); ++i) joined.insert(joined.end(), olds[i]->Bytes().begin(), olds[i]->Bytes().end());
  if (olds.size() > 1) oldBytes = joined;
  if (oldBytes.size() != entry.DecodedOldSize()) return "its old file changed while the updater was built";
  return ApplyAndCompare(entry, block, oldBytes, [&](std::span<const std::byte> bytes) {
    if (olds.size() == 1) olds.front()->Release(bytes);
  });
}

}  // namespace

std::string ApplyAndCompare(const payload::FileEntry& entry, const codec::ReadAt& block,
                            std::span<const std::byte> oldFile, const codec::ReleasePages& release) {
  uint64_t readSinceRelease = 0, low = UINT64_MAX, high = 0;
  codec::ReadAt oldReader = [&](uint64_t offset, std::span<std::byte> buffer) {
    if (offset > oldFile.size() || buffer.size() > oldFile.size() - offset) return false;
    std::memcpy(buffer.data(), oldFile.data() + offset, buffer.size());
    if (release) {
      low = std::min(low, offset);
      high = std::max<uint64_t>(high, offset + buffer.size());
      if ((readSinceRelease += buffer.size()) >= kReleaseEvery) {
        release(oldFile.subspan(low, high - low));
        readSinceRelease = high = 0;
        low = UINT64_MAX;
      }
    }
    return true;
  };
  payload::StreamingHash128 newHash;
  uint64_t produced = 0;
  codec::Sink sink = [&](std::span<const std::byte> bytes) {
    produced += bytes.size();
    if (produced > entry.newSize) return false;
    newHash.Update(bytes);
    return true;
  };
  auto result = codec::DecodeFile(entry.codec, block, entry.dataLength, oldReader, oldFile.size(), entry.newSize,
                                  sink, nullptr);
  if (result != codec::DecodeResult::Ok) return DecodeProblem(result);
  if (produced != entry.newSize || newHash.Digest() != entry.newHash) return "it decodes to other bytes than the new file";
  return {};
}

void CheckWrittenPayload(const std::string& updater, const std::vector<std::string>& records,
                         const BuiltPayload& built, unsigned threads) {
  auto file = platform::File::Open(updater, platform::File::Mode::Read);
  if (!file) throw std::runtime_error("self-check: cannot read back " + updater);
  payload::PayloadIndex index;
  std::string error;
  if (!payload::ReadPayloadIndex(*file, index, error))
    throw std::runtime_error("self-check: the written payload cannot be read back: " + error);
  if (index.records != records) throw std::runtime_error("self-check: the written records differ from the records file");
  if (index.entries.size() != built.entries.size() || index.dataLength != built.dataLength)
    throw std::runtime_error("self-check: the written file table differs from what was built");
  for (size_t i = 0; i < built.entries.size(); ++i)
    if (!SameEntry(index.entries[i], built.entries[i]))
      throw std::runtime_error("self-check: the written file table differs from what was built at " +
                               built.entries[i].path);

  // Entries side by side, each worker reading through a handle of its own.
  std::vector<std::string> problems(index.entries.size());
  std::atomic<size_t> next = 0;
  auto worker = [&] {
    auto own = platform::File::Open(updater, platform::File::Mode::Read);
    for (size_t i = next++; i < index.entries.size(); i = next++)
      problems[i] = own ? CheckEntry(*own, index.dataOffset, index.entries[i], built.oldFiles[i])
                        : "the updater could not be read back";
  };
  std::vector<std::thread> workers;
  for (unsigned i = 1; i < std::max(1u, threads); ++i) workers.emplace_back(worker);
  worker();
  for (auto& thread : workers) thread.join();
  for (size_t i = 0; i < problems.size(); ++i)
    if (!problems[i].empty())
      throw std::runtime_error("self-check failed for " + index.entries[i].path + " (" +
                               payload::CodecName(index.entries[i].codec) + "): " + problems[i] +
                               "; no updater was written");
}

}  // namespace mkpatch
