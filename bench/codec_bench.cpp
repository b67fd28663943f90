// The bench's driver of our codec: encodes one file pair into a patch file, and applies it,
// linking the codec libraries directly (the builder and the engine add only their own I/O).
//
//   orvan-codec-bench encode OLD NEW PATCH [--level N] [--threads N] [--whole-index-max BYTES] [--no-verify]
//   orvan-codec-bench apply OLD PATCH OUT
//   orvan-codec-bench covers OLD NEW [--level N] [--blocks-first] [--TUNING VALUE]...   (the matcher alone)
//
// A patch file here is 17 bytes (codec, old size, new size) and the data block. Encoding then
// applies the block in memory and compares the result with the new file, as the builder's
// self-check does (with its code), unless --no-verify; it prints the codec, the patch size, the
// encoding's seconds and the check's.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "mkpatch/self_check.h"
#include "patchw32/codec/blocks_first_matcher.h"
#include "patchw32/codec/codec.h"
#include "patchw32/codec/cover_encoder.h"
#include "patchw32/codec/cover_finder.h"
#include "patchw32/codec/suffix_array.h"
#include "patchw32/format/hash.h"
#include "platform/files.h"

namespace {

// A file mapped read-only for the whole run, through the platform's mapping as the builder's; the
// bench stops at once when one cannot be read.
struct Mapped {
  std::unique_ptr<platform::MappedFile> file;
  const std::byte* data = nullptr;
  size_t size = 0;
  explicit Mapped(const char* path) : file(platform::MappedFile::Open(path)) {
    if (!file) {
      std::fprintf(stderr, "%s: cannot be read\n", path);
      std::exit(2);
    }
    data = file->Bytes().data();
    size = file->Bytes().size();
  }
  std::span<const std::byte> span() const { return file->Bytes(); }
  // Drops the pages of `bytes` when they are this file's, as the builder does.
  void Release(std::span<const std::byte> bytes) const {
    if (!bytes.empty() && bytes.data() >= data && bytes.data() + bytes.size() <= data + size) file->Release(bytes);
  }
};

// The file's XXH3-128, read in pieces whose pages are released as it goes, as the builder does.
payload::Hash128 HashReleasing(const Mapped& file) {
  constexpr size_t kPiece = size_t{64} << 20;
  payload::StreamingHash128 hash;
  for (size_t at = 0; at < file.size; at += kPiece) {
    auto piece = file.span().subspan(at, std::min(kPiece, file.size - at));
    hash.Update(piece);
    file.Release(piece);
  }
  return hash.Digest();
}

void Put64(std::vector<std::byte>& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::byte>(v >> (8 * i)));
}

uint64_t Get64(const unsigned char* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= uint64_t{p[i]} << (8 * i);
  return v;
}

bool WriteAll(int fd, const void* data, size_t size) {
  auto* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

codec::ReadAt ReaderOf(int fd) {
  return [fd](uint64_t offset, std::span<std::byte> buffer) {
    size_t done = 0;
    while (done < buffer.size()) {
      ssize_t n = pread(fd, buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  };
}

// The builder's self-check of one encoded file: its seconds, or a negative number when it fails.
double SelfCheck(const codec::Encoded& encoded, const Mapped& oldFile, const Mapped& newFile) {
  payload::FileEntry entry;
  entry.operation = oldFile.size ? payload::Operation::Modify : payload::Operation::Add;
  entry.codec = encoded.codec;
  entry.oldSize = oldFile.size;
  entry.newSize = newFile.size;
  entry.newHash = HashReleasing(newFile);  // the builder has it from before encoding
  entry.dataLength = encoded.data.size();
  codec::ReadAt block = [&](uint64_t offset, std::span<std::byte> buffer) {
    if (offset > encoded.data.size() || buffer.size() > encoded.data.size() - offset) return false;
    std::memcpy(buffer.data(), encoded.data.data() + offset, buffer.size());
    return true;
  };
  auto start = std::chrono::steady_clock::now();
  std::string problem =
      mkpatch::ApplyAndCompare(entry, block, oldFile.span(), [&](std::span<const std::byte> b) { oldFile.Release(b); });
  if (!problem.empty()) {
    std::fprintf(stderr, "self-check failed: %s\n", problem.c_str());
    return -1;
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int Encode(int argc, char** argv) {
  codec::EncodeOptions options;
  options.threads = 2;
  bool verify = true;
  for (int i = 5; i < argc; ++i) {
    std::string flag = argv[i];
    if (flag == "--no-verify") verify = false;
    else if (i + 1 >= argc) break;
    else if (flag == "--level") options.level = std::atoi(argv[++i]);
    else if (flag == "--threads") options.threads = static_cast<unsigned>(std::atoi(argv[++i]));
    else if (flag == "--whole-index-max") options.wholeIndexMax = std::strtoull(argv[++i], nullptr, 10);
  }
  Mapped oldFile(argv[2]), newFile(argv[3]);
  options.release = [&](std::span<const std::byte> bytes) {
    oldFile.Release(bytes);
    newFile.Release(bytes);
  };
  auto start = std::chrono::steady_clock::now();
  codec::Encoded encoded = codec::EncodeFile(oldFile.span(), newFile.span(), options);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (encoded.codec == payload::Codec::None) {
    std::fprintf(stderr, "encode failed\n");
    return 1;
  }
  double checkSeconds = verify ? SelfCheck(encoded, oldFile, newFile) : 0;
  if (checkSeconds < 0) return 1;
  std::vector<std::byte> head{static_cast<std::byte>(encoded.codec)};
  Put64(head, oldFile.size);
  Put64(head, newFile.size);
  int fd = open(argv[4], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || !WriteAll(fd, head.data(), head.size()) || !WriteAll(fd, encoded.data.data(), encoded.data.size()) ||
      close(fd) != 0) {
    std::perror(argv[4]);
    return 1;
  }
  std::printf("%s %zu %.3f %.3f\n", payload::CodecName(encoded.codec), encoded.data.size() + head.size(), seconds,
              checkSeconds);
  return 0;
}

int Apply(char** argv) {
  int oldFd = open(argv[2], O_RDONLY);
  int patchFd = open(argv[3], O_RDONLY);
  int outFd = open(argv[4], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (oldFd < 0 || patchFd < 0 || outFd < 0) {
    std::perror("open");
    return 2;
  }
  unsigned char head[17];
  struct stat st {};
  if (pread(patchFd, head, sizeof head, 0) != sizeof head || fstat(patchFd, &st) != 0) return 2;
  auto codec = static_cast<payload::Codec>(head[0]);
  uint64_t oldSize = Get64(head + 1), newSize = Get64(head + 9);
  auto patch = ReaderOf(patchFd);
  codec::ReadAt block = [&](uint64_t offset, std::span<std::byte> buffer) { return patch(offset + 17, buffer); };
  auto result = codec::DecodeFile(
      codec, block, static_cast<uint64_t>(st.st_size) - 17, ReaderOf(oldFd), oldSize, newSize,
      [&](std::span<const std::byte> bytes) { return WriteAll(outFd, bytes.data(), bytes.size()); }, nullptr);
  if (result != codec::DecodeResult::Ok || close(outFd) != 0) {
    std::fprintf(stderr, "apply failed (%d)\n", static_cast<int>(result));
    return 1;
  }
  return 0;
}

// Runs the matcher with the given tuning and prints what it found and what the stream costs.
int Covers(int argc, char** argv) {
  codec::EncodeOptions options;
  options.threads = 2;
  codec::MatchTuning tuning;
  // The blocks-first path starts from its own tuning.
  for (int i = 4; i < argc; ++i)
    if (std::string(argv[i]) == "--blocks-first") tuning = codec::BlocksFirstTuning();
  struct Knob {
    const char* name;
    int64_t* signedValue;
    uint64_t* value;
  } knobs[] = {
      {"--min-seed", nullptr, &tuning.minSeed},         {"--min-near", nullptr, &tuning.minNear},
      {"--far-penalty", nullptr, &tuning.farPenalty},   {"--min-near-score", &tuning.minNearScore, nullptr},
      {"--min-far-score", &tuning.minFarScore, nullptr}, {"--stride", nullptr, &tuning.stride},
      {"--give-up", &tuning.giveUp, nullptr},           {"--switch-gain", nullptr, &tuning.switchGain},
      {"--probe-skip", nullptr, &tuning.probeSkip},
  };
  bool blocksFirst = false;
  for (int i = 4; i < argc; i += 2) {
    std::string flag = argv[i];
    if (flag == "--blocks-first") {
      blocksFirst = true;
      --i;
      continue;
    }
    if (i + 1 >= argc) break;
    if (flag == "--level") options.level = std::atoi(argv[i + 1]);
    for (auto& knob : knobs)
      if (flag == knob.name) {
        if (knob.value) *knob.value = std::strtoull(argv[i + 1], nullptr, 10);
        else *knob.signedValue = std::strtoll(argv[i + 1], nullptr, 10);
      }
  }
  Mapped oldFile(argv[2]), newFile(argv[3]);
  auto start = std::chrono::steady_clock::now();
  codec::CoverList covers;
  double sortSeconds = 0;
  if (blocksFirst) {
    // The path of old files past the whole-index bound.
    covers = codec::MatchBlocksFirst(oldFile.span(), newFile.span(), options.threads, {}, tuning)
                 .value_or(codec::CoverList{});
  } else {
    auto suffixes = codec::SuffixArray::Build(oldFile.span());
    sortSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    covers = codec::FindCovers(oldFile.span(), 0, suffixes, newFile.span(), 0, newFile.size, options.threads, tuning);
  }
  double matchSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() - sortSeconds;
  uint64_t covered = 0, equal = 0;
  for (const auto& c : covers) {
    covered += c.length;
    for (uint64_t i = 0; i < c.length; ++i) equal += oldFile.data[c.oldOffset + i] == newFile.data[c.newOffset + i];
  }
  auto encodeStart = std::chrono::steady_clock::now();
  auto stream = codec::EncodeCovers(oldFile.span(), newFile.span(), covers, options);
  double encodeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - encodeStart).count();
  if (const char* dump = std::getenv("ORVAN_BENCH_DUMP")) {
    // The differences and the extra bytes, each whole, for looking at what the stream holds.
    std::vector<uint8_t> differences, extras;
    uint64_t at = 0;
    for (const auto& c : covers) {
      for (; at < c.newOffset; ++at) extras.push_back(static_cast<uint8_t>(newFile.data[at]));
      for (uint64_t i = 0; i < c.length; ++i)
        differences.push_back(static_cast<uint8_t>(static_cast<uint8_t>(newFile.data[c.newOffset + i]) -
                                                   static_cast<uint8_t>(oldFile.data[c.oldOffset + i])));
      at = c.newOffset + c.length;
    }
    for (; at < newFile.size; ++at) extras.push_back(static_cast<uint8_t>(newFile.data[at]));
    for (auto [name, bytes] : {std::pair{".diff", &differences}, std::pair{".extra", &extras}}) {
      FILE* f = std::fopen((std::string(dump) + name).c_str(), "wb");
      if (f) {
        std::fwrite(bytes->data(), 1, bytes->size(), f);
        std::fclose(f);
      }
    }
  }
  std::printf("covers %zu covered %llu equal %llu extra %llu size %zu sort %.1fs match %.1fs encode %.1fs\n", covers.size(),
              static_cast<unsigned long long>(covered), static_cast<unsigned long long>(equal),
              static_cast<unsigned long long>(newFile.size - covered), stream ? stream->size() : 0, sortSeconds,
              matchSeconds, encodeSeconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && std::strcmp(argv[1], "encode") == 0) return Encode(argc, argv);
  if (argc == 5 && std::strcmp(argv[1], "apply") == 0) return Apply(argv);
  if (argc >= 4 && std::strcmp(argv[1], "covers") == 0) return Covers(argc, argv);
  std::fprintf(stderr, "usage: orvan-codec-bench encode OLD NEW PATCH [--level N] [--threads N] [--whole-index-max BYTES] "
                       "[--no-verify]\n"
                       "       orvan-codec-bench apply OLD PATCH OUT\n");
  return 2;
}
