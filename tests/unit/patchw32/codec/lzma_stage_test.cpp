// The LZMA stage: blocks whose header asks for more dictionary than the file allows are refused,
// a bad header or LZMA2 data is corrupt data, and the builder keeps the smaller stage.
#include <gtest/gtest.h>

#include "patchw32/codec/codec.h"
#include "patchw32/codec/codec_internal.h"
#include "patchw32/codec/codec_limits.h"
#include "patchw32/codec/lzma_block.h"
#include "patchw32/codec/stage_writer.h"
#include "tests/unit/patchw32/codec/test_files.h"

namespace codec {
namespace {

using payload::Codec;
using test::Bytes;

// `data` as an LZMA block whose header names dictionary `code`. LZMA2 data decodes the same with
// any dictionary that spans what it reaches back over, so only the bound decides.
Bytes LzmaBlockNaming(const Bytes& data, uint8_t code) {
  auto block = CompressWith(Stage::Lzma, {.level = 1}, {.windowLog = 12}, data);
  EXPECT_TRUE(block);
  (*block)[1] = std::byte{code};
  return *block;
}

TEST(LzmaStage, RefusesDictionariesBeyondTheMemoryBound) {
  Bytes big = test::Random(1 << 20, 7);
  Bytes little = test::Random(4000, 9);
  struct Case {
    const char* name;
    const Bytes& data;
    uint8_t code;
    bool refused;
  } cases[] = {
      {"32 MiB", big, LzmaDictionaryCode(25), true},
      {"16 MiB and a half more (24 MiB)", big, LzmaDictionaryCode(kWindowLogMax) + 1, true},
      {"LZMA2's largest, 3 GiB", big, kLzmaDictionaryCodeMax, true},
      {"past LZMA2's codes", big, 40, true},
      {"the byte's top value", big, 255, true},
      {"1 MiB for a file of 4000 bytes", little, LzmaDictionaryCode(20), true},
      {"6 KiB for a file of 4000 bytes", little, 1, true},
      {"4 KiB, LZMA2's least, for a file of 4000 bytes", little, 0, false},
      {"1 MiB for a file of 1 MiB", big, LzmaDictionaryCode(20), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes block = LzmaBlockNaming(c.data, c.code);
    Bytes result;
    EXPECT_EQ(test::Decode(Codec::PlainZstd, block, {}, c.data.size(), result),
              c.refused ? DecodeResult::CorruptData : DecodeResult::Ok);
    if (!c.refused) EXPECT_TRUE(result == c.data);
  }
  // A covers stream may span twice its new file and a little more: 16 KiB for 4000 bytes.
  Bytes result;
  Bytes stream = LzmaBlockNaming(little, LzmaDictionaryCode(CoversWindowLog(little.size()) + 1));
  EXPECT_EQ(test::Decode(Codec::Covers, stream, little, little.size(), result), DecodeResult::CorruptData);
}

TEST(LzmaStage, ReferenceAndDictionaryTogetherStayWithinAWindow) {
  // The decoder copies the old file into the dictionary while it still holds it.
  Bytes data = test::Random(1000, 3);
  struct Case {
    uint64_t oldSize;
    int dictionaryLog;
    bool refused;
  } cases[] = {{9 << 20, 23, true}, {9 << 20, 22, false}, {1 << 20, 21, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.oldSize << " old bytes, dictionary 2^" << c.dictionaryLog);
    Bytes block = LzmaBlockNaming(data, LzmaDictionaryCode(c.dictionaryLog));
    Bytes oldFile(c.oldSize, std::byte{1});
    Bytes result;
    EXPECT_EQ(test::Decode(Codec::ReferenceZstd, block, oldFile, data.size(), result),
              c.refused ? DecodeResult::CorruptData : DecodeResult::Ok);
  }
  // The builder does not make such a block: it codes by reference only within half the window.
  Bytes half(kLzmaReferenceLimit - 10);
  EXPECT_FALSE(EncodeReferenceZstd(half, Bytes(11), {.level = 1}, Stage::Lzma));
  EXPECT_TRUE(EncodeReferenceZstd(half, Bytes(11), {.level = 1}, Stage::Zstd));
}

TEST(LzmaStage, BadHeadersAndDataAreCorrupt) {
  Bytes data = test::CodeLike(50000, 4, 0x401000);
  auto good = EncodePlainZstd(data, {.level = 3}, Stage::Lzma);
  ASSERT_TRUE(good);
  Bytes tagOnly{kLzmaBlockTag};
  Bytes headerOnly{kLzmaBlockTag, std::byte{0}};
  Bytes endOnly{kLzmaBlockTag, std::byte{0}, std::byte{0}};  // LZMA2's end marker: no bytes at all
  Bytes badChunk = *good;
  badChunk[2] = std::byte{0x05};  // not a chunk LZMA2 knows
  Bytes zstdUnderTag = *EncodePlainZstd(data, {.level = 3});
  zstdUnderTag.insert(zstdUnderTag.begin(), {kLzmaBlockTag, std::byte{0}});
  for (const auto& [name, block] : {std::pair{"tag only", tagOnly}, std::pair{"header only", headerOnly},
                                    std::pair{"end marker alone", endOnly}, std::pair{"unknown chunk", badChunk},
                                    std::pair{"a zstd frame behind the tag", zstdUnderTag}}) {
    SCOPED_TRACE(name);
    Bytes out;
    EXPECT_EQ(test::Decode(Codec::PlainZstd, block, {}, data.size(), out), DecodeResult::CorruptData);
  }
  // The end marker alone is an empty file.
  Bytes out;
  EXPECT_EQ(test::Decode(Codec::PlainZstd, endOnly, {}, 0, out), DecodeResult::Ok);
  // Every byte flipped in turn: refused, or decoded to exactly the new size (the engine's hash of
  // the new file catches the rest), never past it.
  for (size_t i = 2; i < good->size(); i += 1 + i / 16) {
    Bytes flipped = *good;
    flipped[i] ^= std::byte{0x20};
    Bytes result;
    auto r = test::Decode(Codec::PlainZstd, flipped, {}, data.size(), result);
    if (r == DecodeResult::Ok) EXPECT_EQ(result.size(), data.size());
    else EXPECT_EQ(r, DecodeResult::CorruptData);
  }
}

// Text-like bytes: pieces of one page of letters, in a random order.
Bytes TextLike(size_t size, uint64_t seed) {
  Bytes text;
  Bytes words = test::Random(4096, seed);
  for (auto& b : words) b = static_cast<std::byte>('a' + static_cast<uint8_t>(b) % 26);
  Bytes noise = test::Random(size, seed + 1);
  for (size_t i = 0; text.size() < size; i += 2) {
    size_t at = static_cast<uint8_t>(noise[i]) * 13 % 4000;
    text.insert(text.end(), words.begin() + at, words.begin() + at + 3 + static_cast<uint8_t>(noise[i + 1]) % 40);
    text.push_back(std::byte{' '});
  }
  text.resize(size);
  return text;
}

TEST(LzmaStage, TheBuilderKeepsTheSmallerStage) {
  // Code-like bytes: short opcodes and addresses into a table, which LZMA's repeated distances
  // and literal contexts suit.
  Bytes code = test::CodeLike(1 << 18, 11, 0x401000);
  EncodeOptions options{.level = 19, .threads = 2};
  auto zstd = EncodePlainZstd(code, options, Stage::Zstd);
  auto lzma = EncodePlainZstd(code, options, Stage::Lzma);
  ASSERT_TRUE(zstd && lzma);
  Encoded best = EncodeFile({}, code, options);
  EXPECT_LE(best.data.size(), std::min(zstd->size(), lzma->size()));
  options.lzma = false;
  Encoded zstdOnly = EncodeFile({}, code, options);
  EXPECT_NE(zstdOnly.data[0], kLzmaBlockTag);
  EXPECT_LE(best.data.size(), zstdOnly.data.size());
  // Plain LZMA beats every zstd coding of these bytes, so the builder's choice is an LZMA block.
  EXPECT_LT(lzma->size(), zstdOnly.data.size());
  EXPECT_EQ(best.data[0], kLzmaBlockTag);
  for (const Encoded* e : {&best, &zstdOnly}) {
    Bytes out;
    ASSERT_EQ(test::Decode(e->codec, e->data, {}, code.size(), out), DecodeResult::Ok);
    EXPECT_TRUE(out == code);
  }
}

TEST(LzmaStage, ALargeFileTakesTheStageItsSampleCodesSmaller) {
  // Past 4 MiB a finalist is coded through one stage only: the one that codes the first part of
  // its stream smaller. Whatever the threads, the same bytes. (Past 8 MiB, a new file without an
  // old one is not matched as covers: its finalists are plain and delta coding.)
  Bytes text = TextLike((8 << 20) + 5, 21);
  Encoded one = EncodeFile({}, text, {.level = 3, .threads = 1});
  Encoded two = EncodeFile({}, text, {.level = 3, .threads = 2});
  EXPECT_EQ(one.codec, two.codec);
  EXPECT_TRUE(one.data == two.data);
  auto sample = one.codec == Codec::DeltaZstd ? EncodeDeltaZstd(text, {.level = 3}, Stage::Sample)
                                              : EncodePlainZstd(text, {.level = 3}, Stage::Sample);
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->size(), kStageSampleBytes);
  StageSetup setup{WindowLogFor(sample->size())};
  auto zstd = CompressWith(Stage::Zstd, {.level = 3}, setup, *sample);
  auto lzma = CompressWith(Stage::Lzma, {.level = 3}, setup, *sample);
  ASSERT_TRUE(zstd && lzma);
  EXPECT_EQ(one.data[0] == kLzmaBlockTag, lzma->size() < zstd->size());
  Bytes out;
  ASSERT_EQ(test::Decode(one.codec, one.data, {}, text.size(), out), DecodeResult::Ok);
  EXPECT_TRUE(out == text);
}

}  // namespace
}  // namespace codec
