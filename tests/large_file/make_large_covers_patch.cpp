// Makes an old file past 4 GiB, its new version and the covers patch between them, in the codec
// bench's patch file layout (codec byte, old size, new size, data block), so that a 32-bit build
// of `orvan-codec-bench apply` can be run on offsets, lengths and shifts that do not fit 32 bits;
// with UPDATER, also an updater (a stub and a payload) whose one entry turns OLD, as `huge.pak` of
// an installation, into NEW, for the 32-bit engine (orvan-large-update).
//
//   orvan-large-covers-patch OLD NEW PATCH [UPDATER]
//
// Both files are sparse: the old one is holes except four 1 MiB stretches of noise (at its start,
// across 2 GiB, across 4 GiB and at its end). The new file is 64 KiB of noise, the old file's last
// MiB (a shift past +4 GiB), the whole old file (a shift change past -4 GiB) with bytes changed
// across the 4 GiB boundaries of both files, then 100 bytes of noise. The covers are given, not
// searched for: a suffix array over 4.5 GiB is not what this measures.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "patchw32/codec/cover_encoder.h"
#include "patchw32/format/hash.h"
#include "patchw32/format/payload_writer.h"
#include "platform/files.h"

namespace {

constexpr uint64_t kKiB = 1024, kMiB = 1024 * kKiB, kGiB = 1024 * kMiB;
constexpr uint64_t kOldSize = 4 * kGiB + kGiB / 2 + 12345;
constexpr uint64_t kStretch = kMiB;
constexpr uint64_t kLeadingNoise = 64 * kKiB;
constexpr uint64_t kTrailingNoise = 100;
constexpr uint64_t kMainCoverAt = kLeadingNoise + kStretch;  // where the old file starts in the new
constexpr uint64_t kNewSize = kMainCoverAt + kOldSize + kTrailingNoise;

std::vector<std::byte> Noise(std::mt19937_64& random, uint64_t size) {
  std::vector<std::byte> bytes(size);
  for (auto& b : bytes) b = static_cast<std::byte>(random());
  return bytes;
}

bool WriteAt(int fd, uint64_t offset, std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    ssize_t n = pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<size_t>(n));
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

// A sparse file of `size` bytes holding the given stretches.
bool WriteSparse(const char* path, uint64_t size, const std::map<uint64_t, std::vector<std::byte>>& stretches) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool ok = ftruncate(fd, static_cast<off_t>(size)) == 0;
  for (const auto& [offset, bytes] : stretches) ok = ok && WriteAt(fd, offset, bytes);
  return close(fd) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: orvan-large-covers-patch OLD NEW PATCH [UPDATER]\n");
    return 2;
  }
  std::mt19937_64 random(4242);
  std::map<uint64_t, std::vector<std::byte>> oldStretches;
  for (uint64_t at : {uint64_t{0}, 2 * kGiB - kStretch / 2, 4 * kGiB - kStretch / 2, kOldSize - kStretch})
    oldStretches[at] = Noise(random, kStretch);

  // The new file: the old stretches moved by kMainCoverAt, then changed in place across both
  // files' 4 GiB boundaries (inside the old stretch there, and in a hole of the new file).
  std::map<uint64_t, std::vector<std::byte>> newStretches;
  newStretches[0] = Noise(random, kLeadingNoise);
  newStretches[kLeadingNoise] = oldStretches.rbegin()->second;
  for (const auto& [at, bytes] : oldStretches) newStretches[kMainCoverAt + at] = bytes;
  auto& acrossOld4G = newStretches[kMainCoverAt + 4 * kGiB - kStretch / 2];
  for (uint64_t i = kStretch / 2 - 4096; i < kStretch / 2 + 4096; i += 7) acrossOld4G[i] ^= std::byte{0x5A};
  std::vector<std::byte> acrossNew4G(64);
  for (auto& b : acrossNew4G) b = std::byte{0xC3};
  newStretches[4 * kGiB - 32] = acrossNew4G;  // a hole of the new file, so the old bytes are zeros
  newStretches[kMainCoverAt + kOldSize] = Noise(random, kTrailingNoise);

  if (!WriteSparse(argv[1], kOldSize, oldStretches) || !WriteSparse(argv[2], kNewSize, newStretches)) {
    std::perror("write");
    return 1;
  }

  auto oldFile = platform::MappedFile::Open(argv[1]);
  auto newFile = platform::MappedFile::Open(argv[2]);
  if (!oldFile || !newFile) {
    std::fprintf(stderr, "the files written cannot be mapped\n");
    return 1;
  }
  codec::CoverList covers = {{kOldSize - kStretch, kLeadingNoise, kStretch}, {0, kMainCoverAt, kOldSize}};
  codec::EncodeOptions options;
  options.level = 3;
  auto block = codec::EncodeCovers(oldFile->Bytes(), newFile->Bytes(), covers, options);
  if (!block) {
    std::fprintf(stderr, "the covers could not be encoded\n");
    return 1;
  }
  std::vector<std::byte> patch{static_cast<std::byte>(payload::Codec::Covers)};
  for (uint64_t size : {kOldSize, kNewSize})
    for (int i = 0; i < 8; ++i) patch.push_back(static_cast<std::byte>(size >> (8 * i)));
  patch.insert(patch.end(), block->begin(), block->end());
  std::map<uint64_t, std::vector<std::byte>> whole{{0, patch}};
  if (!WriteSparse(argv[3], patch.size(), whole)) {
    std::perror(argv[3]);
    return 1;
  }
  if (argc == 5) {
    payload::FileEntry entry;
    entry.path = "huge.pak";
    entry.codec = payload::Codec::Covers;
    entry.oldSize = kOldSize;
    entry.oldHash = payload::Hash128Of(oldFile->Bytes());
    entry.newSize = kNewSize;
    entry.newHash = payload::Hash128Of(newFile->Bytes());
    entry.dataLength = block->size();
    entry.dataHash = payload::Hash64(*block);
    std::string stubText = "a stub: the engine reads only the payload after it";
    std::vector<std::byte> stub(reinterpret_cast<const std::byte*>(stubText.data()),
                                reinterpret_cast<const std::byte*>(stubText.data() + stubText.size()));
    auto index = payload::EncodeIndex({"versions,a,a.exe,1,2"}, {entry}, block->size());
    auto trailer = payload::EncodeTrailer(stub.size(), index, block->size());
    std::map<uint64_t, std::vector<std::byte>> updater{{0, stub}};
    updater[stub.size()] = index;
    updater[stub.size() + index.size()] = *block;
    updater[stub.size() + index.size() + block->size()] = trailer;
    uint64_t updaterSize = stub.size() + index.size() + block->size() + trailer.size();
    if (!WriteSparse(argv[4], updaterSize, updater)) {
      std::perror(argv[4]);
      return 1;
    }
  }
  std::printf("old %llu bytes, new %llu bytes, patch %zu bytes\n", static_cast<unsigned long long>(kOldSize),
              static_cast<unsigned long long>(kNewSize), patch.size());
  return 0;
}
