// The branch filter: decoding undoes encoding on any bytes, block by block; calls to one target
// from moved code become equal; and the filter is chosen from the executable's header.
#include "patchw32/codec/branch_filter.h"

#include <gtest/gtest.h>

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
