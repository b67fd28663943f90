// The branch filter: decoding undoes encoding on any bytes, block by block; it converts exactly
// what the byte-by-byte loop converted; calls to one target from moved code become equal; and the
// filter is chosen from the executable's header.
#include "patchw32/codec/branch_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "tests/unit/patchw32/codec/test_files.h"

namespace codec {
namespace {

using test::Bytes;

Bytes ConvertFile(Bytes file, BranchFilter filter, BranchDirection direction) {
  ConvertFileBlocks(filter, direction, file, 0);
  return file;
}

TEST(BranchFilter, DecodingUndoesEncodingOnAnyBytes) {
  Bytes calls(200000, std::byte{0xE8});  // every byte an opcode: the parse must agree both ways
  Bytes rip;
  for (int i = 0; i < 40000; ++i) rip.insert(rip.end(), {std::byte{0x8B}, std::byte{0x05}, std::byte{0xFF}});
  struct Case {
    const char* name;
    Bytes file;
  } cases[] = {
      {"empty", {}},
      {"shorter than an operand", Bytes{std::byte{0xE8}, std::byte{1}, std::byte{2}}},
      {"random, blocks and a partial one", test::Random(3 * kBranchBlockBytes + 777, 1)},
      {"all call opcodes", calls},
      {"instruction-relative operands back to back", rip},
      {"a program", test::Program(2000, 2, 0x8664)},
  };
  for (const auto& c : cases) {
    for (BranchFilter filter : {BranchFilter::Calls, BranchFilter::CallsAndRipRelative}) {
      SCOPED_TRACE(testing::Message() << c.name << ", filter " << static_cast<int>(filter));
      Bytes encoded = ConvertFile(c.file, filter, BranchDirection::Encode);
      EXPECT_TRUE(ConvertFile(encoded, filter, BranchDirection::Decode) == c.file);
    }
  }
}

// The conversion as it was first written, one byte at a time: payloads already built with it
// must decode to the same bytes, so the faster scan has to find exactly the same operands.
void ConvertOneByteAtATime(BranchFilter filter, BranchDirection direction, std::span<std::byte> block,
                           uint64_t blockOffset) {
  auto* bytes = reinterpret_cast<uint8_t*>(block.data());
  bool rip = filter == BranchFilter::CallsAndRipRelative;
  auto convert = [&](size_t at, uint64_t next) {
    uint32_t value;
    std::memcpy(&value, bytes + at, 4);
    uint8_t top = static_cast<uint8_t>(value >> 24);
    if (top != 0x00 && top != 0xFF) return;
    uint32_t position = static_cast<uint32_t>(next);
    uint32_t converted = (direction == BranchDirection::Encode ? value + position : value - position) & 0x01FFFFFF;
    if (converted & 0x01000000) converted |= 0xFE000000;
    std::memcpy(bytes + at, &converted, 4);
  };
  static const std::set<uint8_t> ripOpcodes{0x01, 0x03, 0x09, 0x0B, 0x21, 0x23, 0x29, 0x2B, 0x31, 0x33,
                                            0x38, 0x39, 0x3A, 0x3B, 0x63, 0x80, 0x81, 0x83, 0x85, 0x87,
                                            0x88, 0x89, 0x8A, 0x8B, 0x8D, 0xC6, 0xC7, 0xFF};
  for (size_t i = 0; i + 5 <= block.size();) {
    if (bytes[i] == 0xE8) {
      convert(i + 1, blockOffset + i + 5);
      i += 5;
    } else if (rip && ripOpcodes.count(bytes[i]) && i + 6 <= block.size() && (bytes[i + 1] & 0xC7) == 0x05) {
      convert(i + 2, blockOffset + i + 6);
      i += 6;
    } else {
      ++i;
    }
  }
}

TEST(BranchFilter, FindsTheSameOperandsAsTheByteByByteConversion) {
  // Bytes dense in call opcodes, operand opcodes and instruction-relative ModRM bytes, with
  // operands whose top byte is 00 or FF, so that overlapping candidates, candidates at the end of
  // a 16-byte chunk and of the block, and blocks of every length up to a few chunks all occur.
  std::mt19937 random(5);
  const uint8_t alphabet[] = {0xE8, 0x8B, 0x8D, 0xFF, 0x05, 0x15, 0x00, 0x48, 0x90, 0xC7, 0x25, 0x3D};
  Bytes pool(64 * kBranchBlockBytes);
  for (auto& b : pool) b = static_cast<std::byte>(random() % 4 == 0 ? random() & 0xFF : alphabet[random() % 12]);
  for (BranchFilter filter : {BranchFilter::Calls, BranchFilter::CallsAndRipRelative}) {
    for (BranchDirection direction : {BranchDirection::Encode, BranchDirection::Decode}) {
      for (size_t length = 0; length <= 100; ++length) {
        for (size_t from : {size_t{0}, size_t{3}, size_t{17}}) {
          Bytes fast(pool.begin() + from, pool.begin() + from + length), slow = fast;
          ConvertBranches(filter, direction, fast, 4096 * from);
          ConvertOneByteAtATime(filter, direction, slow, 4096 * from);
          ASSERT_TRUE(fast == slow) << "length " << length << " from " << from;
        }
      }
      for (size_t at = 0; at < pool.size(); at += kBranchBlockBytes) {
        Bytes fast(pool.begin() + at, pool.begin() + at + kBranchBlockBytes), slow = fast;
        ConvertBranches(filter, direction, fast, at);
        ConvertOneByteAtATime(filter, direction, slow, at);
        ASSERT_TRUE(fast == slow) << "block at " << at;
      }
    }
  }
}

TEST(BranchFilter, CallsToOneTargetFromMovedCodeBecomeEqual) {
  // A call at 0x100 and the same call 0x30 bytes later, both to 0x2000.
  auto callAt = [](size_t at) {
    Bytes file(0x3000, std::byte{0x90});
    uint32_t distance = static_cast<uint32_t>(0x2000 - (at + 5));
    file[at] = std::byte{0xE8};
    for (int k = 0; k < 4; ++k) file[at + 1 + k] = static_cast<std::byte>(distance >> (8 * k));
    return ConvertFile(file, BranchFilter::Calls, BranchDirection::Encode);
  };
  Bytes before = callAt(0x100), after = callAt(0x130);
  EXPECT_TRUE(std::equal(before.begin() + 0x101, before.begin() + 0x105, after.begin() + 0x131));
  // The x86-64 filter converts an instruction-relative load (8B 05 disp32) too; the 32-bit one
  // leaves it, since there the same bytes hold an absolute address.
  Bytes load{std::byte{0x8B}, std::byte{0x05}, std::byte{0x10}, std::byte{0}, std::byte{0}, std::byte{0}};
  Bytes x64 = load, x86 = load;
  ConvertBranches(BranchFilter::CallsAndRipRelative, BranchDirection::Encode, x64, 0x40);
  ConvertBranches(BranchFilter::Calls, BranchDirection::Encode, x86, 0x40);
  EXPECT_EQ(x64[2], std::byte{0x10 + 0x46});
  EXPECT_TRUE(x86 == load);
}

TEST(BranchFilter, ChosenFromTheHeader) {
  auto elf = [](uint8_t dataEncoding, uint16_t machine) {
    Bytes file(64);
    std::memcpy(file.data(), "\x7f" "ELF\x02", 5);
    file[5] = std::byte{dataEncoding};
    file[18] = static_cast<std::byte>(machine);
    file[19] = static_cast<std::byte>(machine >> 8);
    return file;
  };
  Bytes peOutside = test::Program(10, 1, 0x8664);
  peOutside[0x3c] = std::byte{0xF0};
  peOutside[0x3d] = std::byte{0xFF};
  peOutside[0x3e] = std::byte{0xFF};
  peOutside[0x3f] = std::byte{0xFF};
  Bytes shortMz{std::byte{'M'}, std::byte{'Z'}};
  struct Case {
    const char* name;
    Bytes file;
    BranchFilter filter;
  } cases[] = {
      {"PE x86-64", test::Program(10, 1, 0x8664), BranchFilter::CallsAndRipRelative},
      {"PE x86", test::Program(10, 1, 0x014C), BranchFilter::Calls},
      {"PE ARM64", test::Program(10, 1, 0xAA64), BranchFilter::None},
      {"PE header offset past the end", peOutside, BranchFilter::None},
      {"MZ alone", shortMz, BranchFilter::None},
      {"ELF x86-64", elf(1, 62), BranchFilter::CallsAndRipRelative},
      {"ELF x86", elf(1, 3), BranchFilter::Calls},
      {"ELF big-endian", elf(2, 62), BranchFilter::None},
      {"data", test::Random(1000, 3), BranchFilter::None},
      {"empty", {}, BranchFilter::None},
  };
  for (const auto& c : cases) EXPECT_EQ(BranchFilterFor(c.file), c.filter) << c.name;
}

}  // namespace
}  // namespace codec
