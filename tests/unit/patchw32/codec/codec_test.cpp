// Whole files through EncodeFile and DecodeFile: every codec round-trips the cases that break
// matchers, the smallest is kept, and a bad block or a failing callback stops the decode cleanly.
#include "patchw32/codec/codec.h"

#include <gtest/gtest.h>
#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_estimateDStreamSize, to check the budget's share for zstd
#include <zstd.h>

#include "patchw32/codec/codec_internal.h"
#include "patchw32/codec/codec_limits.h"
#include "patchw32/codec/lzma_block.h"
#include "tests/unit/patchw32/codec/test_files.h"

namespace codec {
namespace {

using payload::Codec;
using test::Bytes;

struct FileCase {
  const char* name;
  Bytes oldFile, newFile;
};

std::vector<FileCase> MatcherBreakers() {
  Bytes code = test::CodeLike(200000, 1, 0x401000);
  Bytes oneChanged = code;
  oneChanged[123456] ^= std::byte{0x10};
  Bytes large = test::CodeLike(6 << 20, 2, 0x10000000);
  Bytes largeOneChanged = large;
  largeOneChanged[(6 << 20) - 3] ^= std::byte{0x80};
  Bytes shifted = test::CodeLike(200000, 1, 0x401100);
  shifted.insert(shifted.begin() + 5000, 700, std::byte{0xcc});
  auto piece = [&](size_t at, size_t size) { return std::span(code).subspan(at, size); };
  return {
      {"empty old", {}, code},
      {"empty new", code, {}},
      {"both empty", {}, {}},
      {"identical", code, code},
      {"one byte changed", code, oneChanged},
      {"one byte changed in a large file", large, largeOneChanged},
      {"all different", test::Random(100000, 3), test::Random(100000, 4)},
      {"shifted code-like data", code, shifted},
      {"pieces reordered and one dropped",
       code, test::Concat({piece(150000, 50000), piece(0, 50000), piece(100000, 50000)})},
      {"one byte files", Bytes{std::byte{1}}, Bytes{std::byte{2}}},
      {"zeros against zeros of another length", Bytes(50000), Bytes(70001)},
      {"new file is the old one twice", code, test::Concat({code, code})},
  };
}

TEST(Codec, EveryCodecRoundTripsTheMatcherBreakers) {
  EncodeOptions options{.level = 3, .threads = 2};
  for (const auto& c : MatcherBreakers()) {
    SCOPED_TRACE(c.name);
    std::vector<Bytes> blocks;
    for (Stage stage : {Stage::Zstd, Stage::Lzma}) {
      SCOPED_TRACE(stage == Stage::Lzma ? "lzma" : "zstd");
      uint64_t covered = 0;
      std::pair<Codec, std::optional<Bytes>> coded[] = {
          {Codec::PlainZstd, EncodePlainZstd(c.newFile, options, stage)},
          {Codec::DeltaZstd, EncodeDeltaZstd(c.newFile, options, stage)},
          {Codec::ReferenceZstd, EncodeReferenceZstd(c.oldFile, c.newFile, options, stage)},
          {Codec::Covers, EncodeCoversFile(c.oldFile, c.newFile, options, covered, BranchFilter::None, stage)},
          {Codec::CoversX86, EncodeCoversFile(c.oldFile, c.newFile, options, covered, BranchFilter::Calls, stage)},
          {Codec::CoversX64,
           EncodeCoversFile(c.oldFile, c.newFile, options, covered, BranchFilter::CallsAndRipRelative, stage)},
      };
      for (const auto& [codec, block] : coded) {
        SCOPED_TRACE(static_cast<int>(codec));
        if (!block) {
          // Only reference coding may decline: without an old file, or through LZMA past its bound.
          EXPECT_EQ(codec, Codec::ReferenceZstd);
          EXPECT_TRUE(c.oldFile.empty() ||
                      (stage == Stage::Lzma && c.oldFile.size() + c.newFile.size() > kLzmaReferenceLimit));
          continue;
        }
        // The block names its stage by its first byte.
        ASSERT_FALSE(block->empty());
        EXPECT_EQ((*block)[0] == kLzmaBlockTag, stage == Stage::Lzma);
        Bytes out;
        ASSERT_EQ(test::Decode(codec, *block, c.oldFile, c.newFile.size(), out), DecodeResult::Ok);
        EXPECT_TRUE(out == c.newFile);
        blocks.push_back(*block);
      }
    }

    Encoded best = EncodeFile(c.oldFile, c.newFile, options);
    for (const auto& block : blocks) EXPECT_LE(best.data.size(), block.size());
    Bytes out;
    ASSERT_EQ(test::Decode(best.codec, best.data, c.oldFile, c.newFile.size(), out), DecodeResult::Ok);
    EXPECT_TRUE(out == c.newFile);
  }
}

TEST(Codec, CoversBeatPlainZstdOnShiftedCode) {
  Bytes oldFile = test::CodeLike(1 << 20, 5, 0x401000);
  Bytes newFile = test::CodeLike(1 << 20, 5, 0x401230);
  EncodeOptions options{.level = 9};
  uint64_t covered = 0;
  auto covers = EncodeCoversFile(oldFile, newFile, options, covered);
  auto plain = EncodePlainZstd(newFile, options);
  ASSERT_TRUE(covers && plain);
  EXPECT_GE(covered, newFile.size() * 9 / 10);
  EXPECT_LT(covers->size() * 3, plain->size());
  EXPECT_EQ(EncodeFile(oldFile, newFile, options).codec, Codec::Covers);
}

TEST(Codec, ExecutablesAreMatchedWithTheirBranchesConverted) {
  // A function near the start grows, so the calls after it to the runtime before it change their
  // distances: converted, they match again.
  for (auto [machine, codec] :
       {std::pair{uint16_t{0x8664}, Codec::CoversX64}, std::pair{uint16_t{0x014C}, Codec::CoversX86}}) {
    SCOPED_TRACE(machine);
    Bytes oldFile = test::Program(8000, 9, machine);
    Bytes newFile = test::Program(8000, 9, machine, 100);
    EncodeOptions options{.level = 9, .threads = 2};
    uint64_t covered = 0;
    auto plainCovers = EncodeCoversFile(oldFile, newFile, options, covered);
    ASSERT_TRUE(plainCovers);
    Encoded best = EncodeFile(oldFile, newFile, options);
    EXPECT_EQ(best.codec, codec);
    EXPECT_LT(best.data.size() * 2, plainCovers->size());
    Bytes out;
    ASSERT_EQ(test::Decode(best.codec, best.data, oldFile, newFile.size(), out), DecodeResult::Ok);
    EXPECT_TRUE(out == newFile);
  }
}

TEST(Codec, RawImageDataIsCodedAsByteDifferences) {
  // A replaced texture: smooth gradients with noise, unlike the old one.
  auto gradient = [](size_t size, uint64_t seed) {
    Bytes noise = test::Random(size, seed), out(size);
    uint8_t value = 0;
    for (size_t i = 0; i < size; ++i) {
      if (i % 4 == 0) value = static_cast<uint8_t>(value + static_cast<uint8_t>(noise[i]) % 5 - 2);
      out[i] = static_cast<std::byte>(value + (i % 4) * 40 + static_cast<uint8_t>(noise[i]) / 128);
    }
    return out;
  };
  Bytes oldFile = gradient(300000, 1), newFile = gradient(300000, 2);
  EncodeOptions options{.level = 9};
  auto plain = EncodePlainZstd(newFile, options);
  ASSERT_TRUE(plain);
  Encoded best = EncodeFile(oldFile, newFile, options);
  EXPECT_EQ(best.codec, Codec::DeltaZstd);
  EXPECT_LT(best.data.size() * 4, plain->size() * 3);
  Bytes out;
  ASSERT_EQ(test::Decode(best.codec, best.data, oldFile, newFile.size(), out), DecodeResult::Ok);
  EXPECT_TRUE(out == newFile);
}

TEST(Codec, ReplacedRandomBytesAreStoredByTheCheapestCodec) {
  // Nothing explains or shrinks a replaced compressed asset: whatever level tried, its coding is
  // the bytes stored, and the cheapest codec to apply takes it.
  Bytes oldFile = test::Random(3 << 19, 11), newFile = test::Random(3 << 19, 12);
  Encoded best = EncodeFile(oldFile, newFile, EncodeOptions{.level = 19, .threads = 2});
  EXPECT_EQ(best.codec, Codec::PlainZstd);
  EXPECT_LE(best.data.size(), newFile.size() + 64);
  Bytes out;
  ASSERT_EQ(test::Decode(best.codec, best.data, oldFile, newFile.size(), out), DecodeResult::Ok);
  EXPECT_TRUE(out == newFile);
}

TEST(Codec, MatchingBlocksFirstStillRoundTrips) {
  // An old file larger than the whole-index bound: the path of very large files, in small.
  Bytes oldFile = test::CodeLike(3 << 20, 6, 0x800000);
  Bytes newFile = oldFile;
  newFile.erase(newFile.begin() + 1000000, newFile.begin() + 1100000);
  newFile.insert(newFile.begin() + 2000000, 50000, std::byte{0x90});
  for (uint64_t bound : {uint64_t{1} << 20, uint64_t{600000}}) {
    SCOPED_TRACE(bound);
    uint64_t covered = 0;
    auto block = EncodeCoversFile(oldFile, newFile, {.level = 3, .wholeIndexMax = bound}, covered);
    ASSERT_TRUE(block);
    EXPECT_GE(covered, newFile.size() * 9 / 10);
    Bytes out;
    ASSERT_EQ(test::Decode(Codec::Covers, *block, oldFile, newFile.size(), out), DecodeResult::Ok);
    EXPECT_TRUE(out == newFile);
  }
}

TEST(Codec, SameInputGivesTheSameBytesWhateverTheThreads) {
  // Large enough that the candidates are first tried at a low level, then finished at this one.
  auto c = MatcherBreakers()[5];
  ASSERT_GT(c.newFile.size(), 1u << 20);
  Encoded a = EncodeFile(c.oldFile, c.newFile, {.level = 5, .threads = 1});
  Encoded b = EncodeFile(c.oldFile, c.newFile, {.level = 5, .threads = 2});
  EXPECT_EQ(a.codec, b.codec);
  EXPECT_TRUE(a.data == b.data);
  auto plain = EncodePlainZstd(c.newFile, {.level = 5});
  ASSERT_TRUE(plain);
  EXPECT_LT(a.data.size(), plain->size() / 100);
  Bytes out;
  ASSERT_EQ(test::Decode(a.codec, a.data, c.oldFile, c.newFile.size(), out), DecodeResult::Ok);
  EXPECT_TRUE(out == c.newFile);
}

TEST(Codec, EveryTruncationOfABlockIsCorruptData) {
  auto c = MatcherBreakers()[7];
  for (Stage stage : {Stage::Zstd, Stage::Lzma}) {
    SCOPED_TRACE(stage == Stage::Lzma ? "lzma" : "zstd");
    uint64_t covered = 0;
    std::pair<Codec, std::optional<Bytes>> blocks[] = {
        {Codec::PlainZstd, EncodePlainZstd(c.newFile, {.level = 3}, stage)},
        {Codec::DeltaZstd, EncodeDeltaZstd(c.newFile, {.level = 3}, stage)},
        {Codec::ReferenceZstd, EncodeReferenceZstd(c.oldFile, c.newFile, {.level = 3}, stage)},
        {Codec::Covers, EncodeCoversFile(c.oldFile, c.newFile, {.level = 3}, covered, BranchFilter::None, stage)},
    };
    for (const auto& [codec, block] : blocks) {
      SCOPED_TRACE(static_cast<int>(codec));
      ASSERT_TRUE(block);
      for (size_t length = 0; length < block->size(); length += 1 + length / 8) {
        Bytes out;
        EXPECT_EQ(test::Decode(codec, std::span(*block).first(length), c.oldFile, c.newFile.size(), out),
                  DecodeResult::CorruptData)
            << "length " << length;
      }
      // And a block with a byte too many, or a new size it does not have.
      Bytes longer = *block;
      longer.push_back(std::byte{0});
      Bytes out;
      EXPECT_EQ(test::Decode(codec, longer, c.oldFile, c.newFile.size(), out), DecodeResult::CorruptData);
      EXPECT_EQ(test::Decode(codec, *block, c.oldFile, c.newFile.size() + 1, out), DecodeResult::CorruptData);
      EXPECT_EQ(test::Decode(codec, *block, c.oldFile, c.newFile.size() - 1, out), DecodeResult::CorruptData);
    }
  }
}

// One zstd frame of `data` fed in two steps, so that zstd cannot know its size: the header asks
// for the whole window of 2^windowLog bytes.
Bytes FrameWithWindow(const Bytes& data, int windowLog) {
  ZSTD_CCtx* context = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, windowLog);
  ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, 1);
  Bytes frame(ZSTD_compressBound(data.size()));
  ZSTD_inBuffer in{data.data(), data.size(), 0};
  ZSTD_outBuffer out{frame.data(), frame.size(), 0};
  ZSTD_compressStream2(context, &out, &in, ZSTD_e_continue);
  ZSTD_inBuffer none{nullptr, 0, 0};
  EXPECT_EQ(ZSTD_compressStream2(context, &out, &none, ZSTD_e_end), 0u);
  ZSTD_freeCCtx(context);
  frame.resize(out.pos);
  return frame;
}

TEST(Codec, RefusesBlocksBeyondTheMemoryBound) {
  // A frame whose window is larger than the bound, or than the file it makes can need, is
  // refused before anything is allocated for it; the same frame within the file's window decodes.
  Bytes big = test::Random(1 << 20, 7);
  Bytes little = test::Random(4000, 9);
  struct Case {
    const char* name;
    const Bytes& data;
    int windowLog;
    bool refused;
  } cases[] = {
      {"32 MiB, the bound before", big, 25, true},
      {"four times the bound", big, kWindowLogMax + 2, true},
      {"1 MiB for a file of 4000 bytes", little, 20, true},
      {"a window just past what a file of 4000 bytes needs", little, WindowLogSpanning(little.size()) + 1, true},
      {"the window a file of 4000 bytes needs", little, WindowLogSpanning(little.size()), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes frame = FrameWithWindow(c.data, c.windowLog);
    Bytes result;
    EXPECT_EQ(test::Decode(Codec::PlainZstd, frame, {}, c.data.size(), result),
              c.refused ? DecodeResult::CorruptData : DecodeResult::Ok);
    if (!c.refused) EXPECT_TRUE(result == c.data);
    // As a covers stream (whose window may span twice the new file), the larger windows are refused.
    if (c.windowLog > CoversWindowLog(c.data.size()))
      EXPECT_EQ(test::Decode(Codec::Covers, frame, c.data, c.data.size(), result), DecodeResult::CorruptData);
  }
  // The budget's zstd share holds what zstd says a stream of the largest window needs.
  EXPECT_LE(ZSTD_estimateDStreamSize(kWindowBytes) - kWindowBytes, kZstdOverheadBytes);

  // Reference zstd would hold the old file in memory: past the bound it is not ours.
  Bytes small = test::Random(1000, 8);
  auto block = EncodePlainZstd(small, {.level = 1});
  ASSERT_TRUE(block);
  uint64_t hugeOld = kReferenceLimit;
  ReadAt neverRead = [](uint64_t, std::span<std::byte>) -> bool { ADD_FAILURE() << "old file read"; return false; };
  EXPECT_EQ(DecodeFile(Codec::ReferenceZstd, test::ReaderOf(*block), block->size(), neverRead, hugeOld, small.size(),
                       [](std::span<const std::byte>) { return true; }, nullptr),
            DecodeResult::CorruptData);
  EXPECT_FALSE(EncodeReferenceZstd(Bytes(kReferenceLimit - 10), Bytes(11), {.level = 1}));
}

TEST(Codec, CallbacksStopTheDecode) {
  auto c = MatcherBreakers()[4];
  Encoded encoded = EncodeFile(c.oldFile, c.newFile, {.level = 3});
  auto block = test::ReaderOf(encoded.data);
  auto oldFile = test::ReaderOf(c.oldFile);
  auto decode = [&](const ReadAt& blockReader, const ReadAt& oldReader, const Sink& sink, const Progress& progress) {
    return DecodeFile(encoded.codec, blockReader, encoded.data.size(), oldReader, c.oldFile.size(), c.newFile.size(),
                      sink, progress);
  };
  Sink accept = [](std::span<const std::byte>) { return true; };
  ReadAt failing = [](uint64_t, std::span<std::byte>) { return false; };
  uint64_t last = 0;
  EXPECT_EQ(decode(block, oldFile, accept, [&](uint64_t done, uint64_t total) {
              EXPECT_GE(done, last);
              EXPECT_EQ(total, c.newFile.size());
              last = done;
              return true;
            }),
            DecodeResult::Ok);
  EXPECT_EQ(last, c.newFile.size());
  EXPECT_EQ(decode(block, oldFile, accept, [](uint64_t, uint64_t) { return false; }), DecodeResult::Stopped);
  EXPECT_EQ(decode(block, oldFile, [](std::span<const std::byte>) { return false; }, nullptr),
            DecodeResult::WriteError);
  EXPECT_EQ(decode(failing, oldFile, accept, nullptr), DecodeResult::ReadError);
  if (encoded.codec != Codec::PlainZstd) EXPECT_EQ(decode(block, failing, accept, nullptr), DecodeResult::ReadError);
  EXPECT_EQ(DecodeFile(Codec::None, block, encoded.data.size(), oldFile, 0, 0, accept, nullptr),
            DecodeResult::CorruptData);
}

}  // namespace
}  // namespace codec
